add_library(avr_link STATIC ${CMAKE_CURRENT_LIST_DIR}/verbosity.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_link.cpp ${CMAKE_CURRENT_LIST_DIR}/byte_trace.cpp
    ${CMAKE_CURRENT_LIST_DIR}/avr_protocol.cpp)
target_include_directories(avr_link PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(avr_link PUBLIC okt_common)
okt_target_warnings(avr_link)
