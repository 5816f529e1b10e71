# Shared by the cross-build scripts (sourced, not run): quiet steps with their log, and
# Debian source packages of the release. The caller sets $log, $work and $release.

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

# Unpacks Debian's source of the release into $work (security updates are not always
# served as sources) and prints its folder.
fetch() {
    (cd "$work" && quiet apt-get source -qq "$1/$release")
    for folder in "$work/$1"-*/; do echo "${folder%/}"; done
}
