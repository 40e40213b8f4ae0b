# The test-only WIC writer, shared by the tests and the WIC benchmark (either may be
# configured without the other).
if(NOT TARGET orvane_wic_test_encoder)
  add_library(orvane_wic_test_encoder STATIC
    ${CMAKE_CURRENT_LIST_DIR}/WicTestEncoder.cpp ${CMAKE_CURRENT_LIST_DIR}/WicTestEncoder.h)
  orvane_target_settings(orvane_wic_test_encoder)
  target_link_libraries(orvane_wic_test_encoder PUBLIC orvane_imgcodecs)
endif()
