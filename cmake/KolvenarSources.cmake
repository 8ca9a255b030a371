# Source lists by convention, so that new units need no edit here:
# - the engine is every .cpp under project/, install/, boot/ and app/build/ (the
#   build sequence) except the windows (files ending in _dlg.cpp or _page.cpp,
#   which belong to the GUI program);
# - the GUI program is the rest of app/, resources/ and those windows.

function(kolvenar_collect_core_sources out)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/project/*.cpp
    ${CMAKE_SOURCE_DIR}/install/*.cpp
    ${CMAKE_SOURCE_DIR}/boot/*.cpp
    ${CMAKE_SOURCE_DIR}/app/build/*.cpp)
  list(FILTER all EXCLUDE REGEX "(_dlg|_page)\\.cpp$")
  set(${out} ${all} PARENT_SCOPE)
endfunction()

function(kolvenar_collect_gui_sources out)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/app/*.cpp
    ${CMAKE_SOURCE_DIR}/resources/*.cpp
    ${CMAKE_SOURCE_DIR}/project/*_dlg.cpp
    ${CMAKE_SOURCE_DIR}/project/*_page.cpp)
  list(FILTER all EXCLUDE REGEX "/app/build/")
  set(${out} ${all} PARENT_SCOPE)
endfunction()
