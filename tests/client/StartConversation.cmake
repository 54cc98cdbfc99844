# Conversations started from Office: chosen cases, then many generated array shapes.
orvex_add_test(NAME client_start_conversation_tests REGISTRY
  SOURCES client/UCCAutomationTests.cpp client/RandomStartConversationTests.cpp client/RandomConversationArrays.cpp
          client/ConversationArrays.cpp support/RecordingHost.cpp)
