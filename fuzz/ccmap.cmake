# The CC map document, with the resolver run on every map it accepts.
kelvo_add_fuzzer(cc_map_fuzzer SOURCES cc_map_fuzzer.cpp LIBS kelvo_ccmap)
