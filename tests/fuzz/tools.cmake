# The tools' value feeds: what a simulator sends, read by the feeds' protocol readers.
vario_fuzz_target(fuzz_feed_protocols feed_protocols_fuzz.cpp vario_tools_common)
