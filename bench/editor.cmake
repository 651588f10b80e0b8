# The editor opening and talking to the controller: the real helper under a
# display (a private Xvfb when DISPLAY is unset). A plain program printing
# its figures; it ignores Google Benchmark flags.
find_package(X11 REQUIRED)
add_executable(editor_bench editor_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/editor/editor_host.cpp
  ${PROJECT_SOURCE_DIR}/tests/editor/x11_window.cpp)
target_include_directories(editor_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/editor)
target_link_libraries(editor_bench PRIVATE kelvo_editor kelvo_test_host X11::X11)
target_compile_definitions(editor_bench PRIVATE
  KELVO_HELPER_PATH="$<TARGET_FILE:kelvo_editor_helper>"
  KELVO_SOURCE_UI="${PROJECT_SOURCE_DIR}/ui")
add_dependencies(editor_bench kelvo_editor_helper)
