#!/bin/sh
# Writes a manual page (section 1) from a program's --help text, so that the page and the help
# can never tell different stories.
#   manpage.sh PROGRAM NAME VERSION SUMMARY OUTPUT
# The help text's first line "Usage: ..." becomes the synopsis, the text up to the first heading
# the description; a line "Heading:" at the left margin starts a section; an indented line
# "TERM  text" (two or more blanks between) starts a tagged paragraph that deeper indented lines
# continue; other indented lines are running text, except examples (lines starting with NAME).
set -eu
program=$1 name=$2 version=$3 summary=$4 out=$5
help=$(QT_QPA_PLATFORM=offscreen "$program" --help)
[ -n "$help" ] || { echo "manpage.sh: $program printed no help" >&2; exit 1; }
printf '%s\n' "$help" | awk -v name="$name" -v version="$version" -v summary="$summary" '
function esc(s) {
  gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s)
  if (s ~ /^[.\047]/) s = "\\&" s
  return s
}
# Options bold, placeholders (capitals, <...>, [...]) italic.
function term(t,   i, w, n, r) {
  n = split(t, w, " ")
  for (i = 1; i <= n; i++)
    r = r (i > 1 ? " " : "") (w[i] ~ /^([A-Z][A-Z0-9_.:@#|]*|[\[<].*)$/ ? "\\fI" : "\\fB") esc(w[i]) "\\fR"
  return r
}
function indent_of(s) { match(s, /^ */); return RLENGTH }
function flush() { if (para != "") print esc(para); para = "" }
{ line[NR] = $0 }
END {
  printf ".TH %s 1 \"\" \"%s %s\" \"User Commands\"\n", toupper(name), name, version
  printf ".SH NAME\n%s \\- %s\n", esc(name), esc(summary)
  u = line[1]; sub(/^Usage: */, "", u)
  printf ".SH SYNOPSIS\n%s\n.SH DESCRIPTION\n", term(u)
  tag = -1; pp = 0
  for (i = 2; i <= NR; i++) {
    l = line[i]; ind = indent_of(l); body = substr(l, ind + 1)
    if (l == "") { flush(); tag = -1; pp = 1; continue }
    if (ind == 0 && l ~ /:$/) {
      flush(); sub(/:$/, "", l); printf ".SH \"%s\"\n", esc(toupper(l)); tag = -1; pp = 0; continue
    }
    if (tag >= 0 && ind > tag + 2) { para = para (para == "" ? "" : " ") body; continue }  # continues a tagged paragraph
    if (pp) { flush(); print ".PP"; pp = 0 }
    if (ind > 0 && match(body, /[^ ]  +[^ ]/)) {                     # TERM  text
      flush(); printf ".TP\n%s\n", term(substr(body, 1, RSTART)); para = substr(body, RSTART + 1); sub(/^ +/, "", para)
      tag = ind; continue
    }
    if (ind > 0 && i < NR && indent_of(line[i + 1]) > ind + 2 && line[i + 1] != "") {  # TERM alone
      flush(); printf ".TP\n%s\n", term(body); tag = ind; continue
    }
    if (tag >= 0) { flush(); print ".PP"; tag = -1 }
    if (ind > 0 && index(body, name " ") == 1) { flush(); printf ".nf\n%s\n.fi\n", esc(body); continue }
    para = para (para == "" ? "" : " ") body
  }
  flush()
}
' >"$out.tmp"
mv "$out.tmp" "$out"
