# Run by CPack over the staged files before it packs them: manual pages and the changelog are
# shipped compressed, as Debian does, with gzip -9n (no name or time stamp, so the same text
# always gives the same bytes).
file(GLOB_RECURSE docs "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER docs INCLUDE REGEX "/man/man[1-9]/[^/]+\\.[1-9]$|/doc/[^/]+/changelog$")
foreach(doc IN LISTS docs)
  execute_process(COMMAND gzip -9nf ${doc} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
