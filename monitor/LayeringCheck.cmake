# Fails when one of FILES includes a header under one of the FORBID
# prefixes ("shell" forbids "shell/...", "res/Qt" forbids "res/QtText.h").
foreach(file ${FILES})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line ${includes})
    foreach(prefix ${FORBID})
      if(line MATCHES "[\"<]${prefix}")
        message(FATAL_ERROR "${file}: ${line}: this folder may not include ${prefix}")
      endif()
    endforeach()
  endforeach()
endforeach()
file(TOUCH ${STAMP})
