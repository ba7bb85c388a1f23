# vt_embed_file(<target> <symbol> <file>)
# Builds <file> into <target> as read-only data. C++ code reaches it through
#   extern "C" const unsigned char <symbol>[];      // first byte
#   extern "C" const unsigned char <symbol>_end[];  // one past the last byte
# The symbols are hidden: they never leave the shared library. <file> may be produced by a
# custom command of the same build; the data is rebuilt when it changes.
function(vt_embed_file target symbol file)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.S)
  if(WIN32)
    # A read-only data section of the DLL; symbols of a DLL are exported only when named.
    file(WRITE ${source}.in
"    .section .rdata$${symbol},\"dr\"
    .balign 16
    .global ${symbol}
${symbol}:
    .incbin \"${file}\"
    .global ${symbol}_end
${symbol}_end:
    .byte 0
")
  else()
    file(WRITE ${source}.in
"    .section .rodata.${symbol},\"a\",@progbits
    .balign 16
    .global ${symbol}
    .hidden ${symbol}
${symbol}:
    .incbin \"${file}\"
    .global ${symbol}_end
    .hidden ${symbol}_end
${symbol}_end:
    .byte 0
    .section .note.GNU-stack,\"\",@progbits
")
  endif()
  configure_file(${source}.in ${source} COPYONLY)
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${file})
  target_sources(${target} PRIVATE ${source})
endfunction()
