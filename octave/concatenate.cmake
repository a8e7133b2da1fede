# Writes OUTPUT as the contents of FIRST followed by those of SECOND.
# cmake -DOUTPUT=out -DFIRST=a -DSECOND=b -P concatenate.cmake
file(READ ${FIRST} first)
file(READ ${SECOND} second)
file(WRITE ${OUTPUT} "${first}\n${second}")
