# cmake -DINPUT=FILE -DOUTPUT=SIG -P write_digest.cmake: SIG gets FILE's SHA-1 as sha1sum writes it.
file(SHA1 ${INPUT} digest)
get_filename_component(name ${INPUT} NAME)
file(WRITE ${OUTPUT} "${digest}  ${name}\n")
