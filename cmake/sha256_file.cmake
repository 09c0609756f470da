# cmake -DFILE=<path> -P sha256_file.cmake: writes <path>.sha256 in the form CPack writes beside
# the zip (and sha256sum -c reads): the hash, two blanks, the file's name.
file(SHA256 ${FILE} hash)
get_filename_component(name ${FILE} NAME)
file(WRITE ${FILE}.sha256 "${hash}  ${name}\n")
