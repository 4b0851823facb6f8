# Sourced by the scripts: lays out a sample world in the Wine prefix
# $WINEPREFIX: an AutoCAD 2002 folder with a real-format menu file under
# C:\Program Files, and a distribution folder $1 with TsSetup.exe ($2) beside
# a sample payload in data\.
make_sample_menu() {
  # AutoCAD 2002's menu source format; Chinese labels in code page 936.
  {
    printf '//\r\n//      AutoCAD menu file - acad.mns\r\n//\r\n***MENUGROUP=ACAD\r\n\r\n'
    local titles=("文件(&F)" "编辑(&E)" "视图(&V)" "插入(&I)" "格式(&O)" "工具(&T)" "绘图(&D)" "标注(&N)" "修改(&M)" "帮助(&H)")
    local i
    for i in $(seq 1 10); do
      printf '***POP%d\r\n**P%d\r\nID_Mn%d     [%s]\r\n' "$i" "$i" "$i" "${titles[$((i-1))]}"
      printf 'ID_Item%d_1  [项目%d-1]^C^C_line\r\nID_Item%d_2  [项目%d-2]^C^C_circle\r\n' "$i" "$i" "$i" "$i"
      printf '\r\n'
    done
  } | iconv -f UTF-8 -t CP936
}

make_sample_payload() {
  local data="$1/data"
  mkdir -p "$data/Pictrue"
  printf 'Standard Jet DB placeholder\r\n' > "$data/TS_DATA.mdb"
  : > "$data/TS_DATA.ldb"
  printf 'placeholder dump\r\n' > "$data/acadstk.dmp"
  printf 'placeholder VBA project\r\n' > "$data/PROJECT.dvb"
  printf 'placeholder startup project\r\n' > "$data/acad.dvb"
  printf 'MZ placeholder library\r\n' > "$data/CPUID.dll"
  local colours=(red green blue orange purple)
  local i
  for i in "${!colours[@]}"; do
    convert -size 64x48 "xc:${colours[$i]}" "$data/Pictrue/sample$((i+1)).bmp" 2>/dev/null \
      || printf 'picture %d\n' "$i" > "$data/Pictrue/sample$((i+1)).bmp"
  done
}

make_sample_world() {
  local dist="$1" exe="$2"
  local cad="$WINEPREFIX/drive_c/Program Files/AutoCAD 2002"
  mkdir -p "$cad/support" "$dist"
  printf 'placeholder for acad.exe\r\n' > "$cad/acad.exe"
  make_sample_menu > "$cad/support/acad.mns"
  cp "$exe" "$dist/TsSetup.exe"
  make_sample_payload "$dist"
}
