# Sound banks: the manifest reader, the WAV decoder and the loader over a
# generated pack directory.
kelvo_add_fuzzer(manifest_json_fuzzer SOURCES manifest_json_fuzzer.cpp LIBS kelvo_banks)
kelvo_add_fuzzer(wav_decoder_fuzzer SOURCES wav_decoder_fuzzer.cpp LIBS kelvo_banks)
kelvo_add_fuzzer(banks_loader_fuzzer SOURCES banks_loader_fuzzer.cpp LIBS kelvo_banks)
# Its WAV files come from the bank tests' builders.
target_include_directories(banks_loader_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/tests/banks)
