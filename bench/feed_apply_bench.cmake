target_link_libraries(${name} PRIVATE tickerdeck_feed_task)
