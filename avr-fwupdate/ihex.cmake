# Intel HEX loader: a pure parser over memory (ihex_parse.cpp) and the file and pair loading
# around it (ihex_file.cpp).
add_library(avr_ihex STATIC ${CMAKE_CURRENT_LIST_DIR}/ihex_parse.cpp ${CMAKE_CURRENT_LIST_DIR}/ihex_file.cpp)
target_include_directories(avr_ihex PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(avr_ihex PRIVATE okt_common)
okt_target_warnings(avr_ihex)
