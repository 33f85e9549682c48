# Fails when a committed kernel image is not what the kernel's source builds to; with
# -DUPDATE=ON it puts the built image in its place instead.
if(NOT EXISTS "${BUILT}")
    message(FATAL_ERROR "${BUILT} is missing: build the target quill_kernel first")
endif()
if(UPDATE)
    file(COPY_FILE "${BUILT}" "${SHIPPED}")
    file(CHMOD "${SHIPPED}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    return()
endif()
file(READ "${BUILT}" built)
file(READ "${SHIPPED}" shipped)
if(NOT built STREQUAL shipped)
    message(FATAL_ERROR "${SHIPPED} is not what the kernel's source builds to; after a change "
                        "to kernel/, build the target quill_kernel_update and commit the images")
endif()
