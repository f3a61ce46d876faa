find_package(BZip2 REQUIRED)
add_library(avr_pack STATIC ${CMAKE_CURRENT_LIST_DIR}/pack_format.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pack_read.cpp ${CMAKE_CURRENT_LIST_DIR}/pack_write.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pack_output.cpp ${CMAKE_CURRENT_LIST_DIR}/bzip2_hook.cpp)
target_include_directories(avr_pack PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(avr_pack PUBLIC avr_ihex okt_common BZip2::BZip2)
okt_target_warnings(avr_pack)
