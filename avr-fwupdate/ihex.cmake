add_library(avr_ihex STATIC ${CMAKE_CURRENT_LIST_DIR}/ihex_parse.cpp ${CMAKE_CURRENT_LIST_DIR}/ihex_file.cpp)
target_include_directories(avr_ihex PUBLIC ${CMAKE_CURRENT_LIST_DIR})
okt_target_warnings(avr_ihex)
