# The build's word on a kernel image: its size against what the boot ROM takes, and the RAM
# its buffers and stack leave to spare.
execute_process(COMMAND ${NM} ${IMAGE}.coff OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
foreach(name image_limit bss_end stack_top stack_reserve)
    if(NOT symbols MATCHES "([0-9a-fA-F]+) [A-Za-z] _${name}\n")
        message(FATAL_ERROR "${IMAGE}.coff has no symbol _${name}")
    endif()
    math(EXPR ${name} "0x${CMAKE_MATCH_1}")
endforeach()
file(SIZE ${IMAGE}.bin size)
math(EXPR data "${bss_end} - 0xF780 - ${size}")
math(EXPR spare "${stack_top} - ${bss_end} - ${stack_reserve}")
message("${LABEL}: ${size} of ${image_limit} bytes; RAM H'F780-H'FF7F: image ${size}, "
        "data ${data}, stack ${stack_reserve}, ${spare} bytes to spare")
