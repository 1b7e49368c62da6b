# cmake -DIN=<UTF-8 page> -DOUT=<GBK page> -P togbk.cmake
# The compiled help file is read in the Chinese code page: the page's declared
# character set becomes gb2312 and its bytes are converted with iconv.
file(READ ${IN} text)
string(REPLACE "charset=utf-8" "charset=gb2312" text "${text}")
file(WRITE ${OUT}.utf8 "${text}")
execute_process(COMMAND iconv -f UTF-8 -t GBK ${OUT}.utf8
                OUTPUT_FILE ${OUT}
                ERROR_VARIABLE err
                RESULT_VARIABLE rc)
file(REMOVE ${OUT}.utf8)
if(NOT rc EQUAL 0)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "${IN}: not convertible to GBK: ${err}")
endif()
