# Shared by the cross-build scripts (sourced, not run): quiet steps with their log, and
# Debian source packages of the release. The caller sets $release; start_source_work
# makes $work and $log.

# Runs a command with its output in the log, showing the log's end when it fails.
quiet() {
    "$@" >>"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        echo "Failed: $*" >&2
        exit 1
    }
}

# apt-get source needs deb-src entries; derive them from the configured deb entries, in
# whichever of the two formats they are written.
ensure_source_entries() {
    lists=/etc/apt/sources.list.d
    if grep -Eqs '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list \
        "$lists"/*.list "$lists"/*.sources; then
        return
    fi
    echo "Adding deb-src entries"
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list "$lists"/*.list \
        2>/dev/null >"$lists/stickforge-src.list" || true
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
        "$lists"/*.sources 2>/dev/null >"$lists/stickforge-src.sources" || true
    for added in "$lists/stickforge-src.list" "$lists/stickforge-src.sources"; do
        [ -s "$added" ] || rm -f "$added"
    done
}

# A work folder for sources and the log, removed at exit, with deb-src entries and fresh
# package lists.
start_source_work() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    log=$work/build.log
    # apt-get fetches as its unprivileged _apt user when that user can write here.
    chown _apt "$work" 2>/dev/null || true
    ensure_source_entries
    quiet apt-get update -qq
}

# Unpacks Debian's source of the release into $work (security updates are not always
# served as sources) and prints its folder.
fetch() {
    (cd "$work" && quiet apt-get source -qq "$1/$release")
    for folder in "$work/$1"-*/; do echo "${folder%/}"; done
}
