# Empty dependencies file for ts_portable.
# This may be replaced when dependencies are built.
