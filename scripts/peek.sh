# Reading what qwpeek prints about the editor's window (one tab-separated line
# per thing). Shared by run.sh and the player tests. Source this file.

# qw_centre_of FILE KIND KEY: the screen centre "x y" of the tab, control or
# list item KEY as FILE, an output of qwpeek, shows it; nothing when absent.
qw_centre_of() {
    awk -F'\t' -v kind="$2" -v key="$3" '
        $1 == kind && $2 == key {
            off = (kind == "control") ? 4 : 0
            print int($(3 + off) + $(5 + off) / 2), int($(4 + off) + $(6 + off) / 2)
            exit
        }' "$1"
}
