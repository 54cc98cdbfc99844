# Conversations started from Office: chosen cases, then many generated array shapes.
orvex_add_test(NAME client_start_conversation_tests REGISTRY
  SOURCES client/StartConversationTests.cpp support/RecordingHost.cpp)
