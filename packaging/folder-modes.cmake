# Read by cpack once it has installed the files to pack: the install made their folders under
# the umask of whoever packs, so they are given the same modes every time.
file(CHMOD_RECURSE ${CPACK_TEMPORARY_DIRECTORY}
     DIRECTORY_PERMISSIONS ${CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
