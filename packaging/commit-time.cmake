# Read by cpack as it packs: every file is stamped no later than SOURCE_DATE_EPOCH. Unless the
# caller sets it, it is the time of the commit packed: from git when the source folder is the top
# of a checkout that git can read, else from source-date, which git archive fills in when it makes
# a release tarball. When neither knows it, the files keep the current time, and that is said.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(source_dir ${CPACK_ECHOBACK_SOURCE_DIR})
    execute_process(COMMAND git -C ${source_dir} rev-parse --show-toplevel
                    OUTPUT_VARIABLE checkout_top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH ${source_dir} source_dir)
    if(checkout_top STREQUAL source_dir)
        execute_process(COMMAND git -C ${source_dir} log -1 --format=%ct
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    else()
        file(STRINGS ${source_dir}/packaging/source-date commit_time LIMIT_COUNT 1)
    endif()
    if(commit_time MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    else()
        message(WARNING "The time of the commit packed is not known: the source folder is neither "
                        "a git checkout that git can read nor a release tarball. The package's "
                        "files carry the current time, and packing again gives another package; "
                        "set SOURCE_DATE_EPOCH to pack reproducibly.")
    endif()
endif()
