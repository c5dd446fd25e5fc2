# The bundled sample raw file, written at build time by our own DNG writer
# (tools/make-sample), never downloaded.
if(TARGET tw_make_sample)
    set(TW_SAMPLE_DNG ${CMAKE_BINARY_DIR}/resources/sample.dng)
    add_custom_command(OUTPUT ${TW_SAMPLE_DNG}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
        COMMAND tw_make_sample ${TW_SAMPLE_DNG}
        DEPENDS tw_make_sample
        COMMENT "Writing the sample raw file resources/sample.dng"
        VERBATIM)
    add_custom_target(tessivane_sample ALL DEPENDS ${TW_SAMPLE_DNG})
endif()
