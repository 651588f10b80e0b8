# CC resolution against a full map.
kelvo_bench(ccmap_bench ccmap_bench.cpp)
target_link_libraries(ccmap_bench PRIVATE kelvo_ccmap)
