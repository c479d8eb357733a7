# The release tarball of the commit checked out, made by git archive, which leaves out what
# .gitattributes marks export-ignore (the Debian packaging). It is written beside the source
# folder under the name that Debian's tools look for there: echoback_VERSION.orig.tar.gz, whose
# files lie in echoback-VERSION/.
set(release_name ${PROJECT_NAME}-${PROJECT_VERSION})
add_custom_target(dist
    COMMAND git -C ${PROJECT_SOURCE_DIR} archive --prefix=${release_name}/
            -o ${PROJECT_SOURCE_DIR}/../${PROJECT_NAME}_${PROJECT_VERSION}.orig.tar.gz HEAD
    VERBATIM)
