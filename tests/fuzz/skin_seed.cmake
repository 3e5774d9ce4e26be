# cmake -DIN=member.xml -DOUT=seed -P skin_seed.cmake
# A mark-up seed is the member behind one byte that picks the reading: "0"
# is UTF-8 with white space kept (see markup_builder_fuzzer.cpp).
file(READ ${IN} content)
file(WRITE ${OUT}.tmp "0${content}")
file(RENAME ${OUT}.tmp ${OUT})
