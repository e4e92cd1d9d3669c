# Install-time script: writes the desktop entries with the programs' paths
# under the prefix being installed to.

function(kv_write_desktop_entry name program)
  set(exe "${CMAKE_INSTALL_PREFIX}/bin/${program}")
  if(exe MATCHES "[\"`$\\\\%]")
    # Characters the entry would have to escape twice over; the name alone
    # still works when the prefix's bin is on the PATH.
    set(KV_DESKTOP_EXEC "${program}")
    set(KV_DESKTOP_TRYEXEC "${program}")
  elseif(exe MATCHES " ")
    set(KV_DESKTOP_EXEC "\"${exe}\"")
    set(KV_DESKTOP_TRYEXEC "${exe}")
  else()
    set(KV_DESKTOP_EXEC "${exe}")
    set(KV_DESKTOP_TRYEXEC "${exe}")
  endif()
  set(out "${KV_PACKAGING_BINARY_DIR}/applications/${name}.desktop")
  configure_file("${KV_PACKAGING_SOURCE_DIR}/${name}.desktop.in" "${out}" @ONLY)
  file(INSTALL "${out}" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
endfunction()

kv_write_desktop_entry(kovalindra Kovalindra)
kv_write_desktop_entry(kovasand Kovasand)
