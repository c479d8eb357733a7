# Read by cpack as it packs: unless the caller sets SOURCE_DATE_EPOCH, it is the time of the
# source tree's last commit, and cpack stamps no file later than that.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${CPACK_ECHOBACK_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0)
        set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    endif()
endif()
