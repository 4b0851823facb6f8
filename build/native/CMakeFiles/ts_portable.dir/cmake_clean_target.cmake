file(REMOVE_RECURSE
  "libts_portable.a"
)
