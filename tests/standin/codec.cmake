# The stand-in's TDS codec: client messages, packet framing, the server's tokens and the
# golden bytes captured from FreeTDS and the probe server.
tallyport_add_test(NAME codec_messages_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_messages_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codec_bytes.h
    LIBS standin_codec
    LABELS standin)

tallyport_add_test(NAME codec_tokens_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_tokens_test.cpp ${CMAKE_CURRENT_LIST_DIR}/codec_bytes.h
    LIBS standin_codec
    LABELS standin)

# The fuzz target's corpus, replayed (with every truncation and single-byte flip) under gcc.
tallyport_add_test(NAME codec_fuzz_corpus
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_codec.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz_codec_runner.cpp
    LIBS standin_codec
    LABELS standin
    TIMEOUT 300)
