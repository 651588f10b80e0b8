# The editor page's and diagnostics clients' messages against a live controller.
kelvo_add_fuzzer(bridge_message_fuzzer SOURCES bridge_message_fuzzer.cpp LIBS kelvo_controller)
