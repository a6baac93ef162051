// The page template, scripts and styles of the HTML report, compiled into the library.
#pragma once

#include <string_view>

namespace liftsim::html::assets {

std::string_view page_template();  // the page, with {{SLOT}} marks for what each page fills in
std::string_view guard_js();       // first script: collects script errors and console complaints
std::string_view common_js();      // shared by every page: data, tables, number formats, self-test
std::string_view run_js();         // one run: plots and the animated side view
std::string_view sweep_js();       // parameter sweep: the stability map
std::string_view capacity_js();    // capacity against load height
std::string_view tilt_js();        // the tilting-table test: critical slope against load height
std::string_view report_css();
std::string_view uplot_js();  // the vendored plotting library
std::string_view uplot_css();

}  // namespace liftsim::html::assets
