# The documented install: the component "python" into a fresh prefix, then the package imported
# from there alone and run, from a folder that holds nothing else.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/cwd)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component python --prefix ${SCRATCH}/prefix
                RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "install failed: ${status}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${SCRATCH}/prefix/${SITE} PYTHONDONTWRITEBYTECODE=1
          ${PYTHON} -c "import liftsim; print(liftsim.run().verdict); print(liftsim.__file__)"
  WORKING_DIRECTORY ${SCRATCH}/cwd
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(status OR NOT out MATCHES "^stable\n${SCRATCH}/prefix/")
  message(FATAL_ERROR "the installed package did not run: ${status}\n${out}${err}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
message(STATUS "installed and ran: ${out}")
