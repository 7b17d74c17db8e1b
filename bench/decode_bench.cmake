target_link_libraries(decode_bench PRIVATE tickerdeck_feed fmt::fmt)
