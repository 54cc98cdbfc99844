orvex_add_test(NAME client_start_conversation_tests
  SOURCES client/UCCAutomationTests.cpp
          client/RandomStartConversationTests.cpp client/RandomConversationArrays.cpp
          client/ConversationArrays.cpp client/HostedClientTest.cpp client/LogRecorder.cpp
  REGISTRY)
