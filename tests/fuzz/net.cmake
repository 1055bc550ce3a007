# Network value source: the conversion of a received reply block.
vario_fuzz_target(fuzz_reply_conversion reply_conversion_fuzz.cpp vario_net)
