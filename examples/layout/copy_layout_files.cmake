# Copies the sample's runtime files into the layout directory (script mode, run at build time).
# atc.ini only when absent, so the operator's own train positions are never overwritten;
# atctest.bin whenever the sources have it and it differs.
file(MAKE_DIRECTORY ${LAYOUT_DIR})
if(NOT EXISTS ${LAYOUT_DIR}/atc.ini)
    file(COPY_FILE ${SOURCE_DIR}/atc.ini ${LAYOUT_DIR}/atc.ini)
endif()
if(EXISTS ${SOURCE_DIR}/atctest.bin)
    file(COPY_FILE ${SOURCE_DIR}/atctest.bin ${LAYOUT_DIR}/atctest.bin ONLY_IF_DIFFERENT)
endif()
