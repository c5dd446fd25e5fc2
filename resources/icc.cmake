# The six output ICC profiles, written at build time by tools/make-icc and
# embedded as ":/outicc/rgb1.icm" .. ":/outicc/rgb6.icm" in tw_resources (an
# object library, so the resources' registration is always linked in).
if(TARGET tw_make_icc)
    set(TW_ICC_DIR ${CMAKE_BINARY_DIR}/resources/outicc)
    set(TW_ICC_FILES)
    foreach(i RANGE 1 6)
        list(APPEND TW_ICC_FILES ${TW_ICC_DIR}/rgb${i}.icm)
    endforeach()
    add_custom_command(OUTPUT ${TW_ICC_FILES}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TW_ICC_DIR}
        COMMAND tw_make_icc ${TW_ICC_DIR}
        DEPENDS tw_make_icc
        COMMENT "Writing the output ICC profiles"
        VERBATIM)

    # Deferred to the end of the folder, so the profiles join tw_resources
    # whichever part of the folder creates it.
    function(tw_attach_icc_profiles)
        if(NOT TARGET tw_resources)
            add_library(tw_resources OBJECT)
            target_link_libraries(tw_resources PRIVATE Qt6::Core)
        endif()
        qt_add_resources(tw_resources "outicc" PREFIX "/outicc" BASE "${TW_ICC_DIR}" FILES ${TW_ICC_FILES})
    endfunction()
    cmake_language(DEFER CALL tw_attach_icc_profiles)
endif()
