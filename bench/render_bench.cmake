target_link_libraries(${name} PRIVATE tickerdeck_screen)
