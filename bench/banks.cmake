# Sound pack loading against the cost of reading and hashing its files.
kelvo_bench(banks_bench banks_bench.cpp)
target_link_libraries(banks_bench PRIVATE kelvo_banks)
