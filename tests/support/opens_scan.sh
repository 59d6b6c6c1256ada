# Sourced by the checks of how the library opens files by name
# (reads_check.sh, writes_check.sh), which set support (this folder).
#   scanOpens SOURCE_DIR EXCEPTIONS TEST
# prints, as FILE:LINE: TEXT, every line of the library's C and C++
# sources (comments skipped, string texts kept) on which the awk statements
# TEST set hit, and that no exception allows. TEST reads the line's text in
# text, and lead, the regular expression of what stands before a call (an
# operator, a bracket or return: not a method or a declaration of one named
# like it). An exception is a line "FILE<TAB>TEXT" or "FILE<TAB>TEXT<TAB>WHY":
# a hit is allowed in FILE on a line holding TEXT.
scanOpens() {
    files=$(for folder in runtime platform imagestore display analysis canvas geo gl devices package include; do
        [ -d "$1/$folder" ] && find "$1/$folder" -name '*.c' -o -name '*.cpp' -o -name '*.h'
    done | LC_ALL=C sort)
    [ -n "$files" ] || return 0
    # shellcheck disable=SC2086
    awk -v keep=1 -f "$support/uncomment.awk" $files | awk -F: -v src="$1/" -v allowed="$2" '
        BEGIN {
            n = split(allowed, lines, "\n")
            for (i = 1; i <= n; i++) {
                split(lines[i], pair, "\t")
                allowFile[i] = pair[1]
                allowText[i] = pair[2]
            }
            lead = "(^|[=(,?!{&|]|[^:]:|return)[ \t]*(::|std::)?"
        }
        {
            text = $0; sub(/^[^:]*:[^:]*:/, "", text)
            hit = 0
            '"$3"'
            if (!hit) {
                next
            }
            file = substr($1, length(src) + 1)
            for (i = 1; i <= n; i++) {
                if (file == allowFile[i] && index(text, allowText[i]) > 0) {
                    next
                }
            }
            line = text; sub(/^[ \t]+/, "", line)
            print file ":" $2 ": " line
        }'
}
