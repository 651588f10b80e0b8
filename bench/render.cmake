# tambro-render's host path against the raw kernel on the same timeline.
kelvo_bench(render_bench render_bench.cpp)
target_link_libraries(render_bench PRIVATE tambro_render_host)
target_compile_definitions(render_bench PRIVATE KELVO_BUNDLE_DIR="${KELVO_BUNDLE_DIR}")
add_dependencies(render_bench kelvo_bundle)
