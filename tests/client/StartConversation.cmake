orvex_add_test(NAME client_start_conversation_parser_tests
  SOURCES client/StartConversationInputParserTests.cpp client/ConversationArrays.cpp client/LogRecorder.cpp
  REGISTRY)
