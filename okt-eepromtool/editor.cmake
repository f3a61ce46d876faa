add_library(okt_editor STATIC ${CMAKE_CURRENT_LIST_DIR}/editor.cpp)
target_include_directories(okt_editor PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(okt_editor PUBLIC oktideep okt_tool okt_common)
okt_target_warnings(okt_editor)
