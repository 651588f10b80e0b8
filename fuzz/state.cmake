# The state document and the sampler pad-override document.
kelvo_add_fuzzer(state_document_fuzzer SOURCES state_document_fuzzer.cpp LIBS kelvo_state)
kelvo_add_fuzzer(pad_overrides_fuzzer SOURCES pad_overrides_fuzzer.cpp LIBS kelvo_state)
