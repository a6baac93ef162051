# Writes OUT, a C++ source defining NAMESPACE::NAME() (declared in HEADER) that returns the bytes
# of IN; NAMESPACE and HEADER default to the HTML page assets'. KIND script or style: refuse bytes
# that would end the <script> or <style> element early; any other KIND (text) takes the bytes as
# they are.
if(NOT DEFINED NAMESPACE)
  set(NAMESPACE liftsim::html::assets)
endif()
if(NOT DEFINED HEADER)
  set(HEADER html/assets.h)
endif()
file(READ "${IN}" text)
string(TOLOWER "${text}" lower)
if(KIND STREQUAL "script")
  foreach(bad "</script" "<!--")
    string(FIND "${lower}" "${bad}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${IN} holds '${bad}' and cannot be placed inside a <script> element")
    endif()
  endforeach()
elseif(KIND STREQUAL "style")
  string(FIND "${lower}" "</style" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${IN} holds '</style' and cannot be placed inside a <style> element")
  endif()
endif()

file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes to a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")

file(WRITE "${OUT}.tmp" "// Generated from ${IN}; do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {
constexpr unsigned char kBytes[] = {
    ${bytes}0x00};
}  // namespace

std::string_view ${NAME}() {
  return {reinterpret_cast<const char*>(kBytes), ${size}};
}

}  // namespace ${NAMESPACE}
")
file(RENAME "${OUT}.tmp" "${OUT}")
