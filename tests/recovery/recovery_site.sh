# A software-update catalog in the current form with two Recovery HD products and their
# metadata (sourced):
#   make_recovery_site WWW URL DIGEST SIZE
# writes WWW/catalog.xml, whose first product's package is URL/031-1/RecoveryHDUpdate.pkg
# with that digest and size (the package itself is the caller's), titled "(15A204h) OS X
# Recovery HD Update"; the second product, "Older Recovery", has no identifier and size 0.
smd() {
    cat <<END
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>localization</key><dict>
<key>French</key><dict><key>title</key><string>Mise à jour</string></dict>
<key>English</key><dict><key>title</key><string>$1</string></dict>
</dict></dict></plist>
END
}
product() {
    cat <<END
<key>$1</key><dict>
<key>ServerMetadataURL</key><string>$url/$1/RecoveryHDUpdate.smd</string>
<key>Packages</key><array><dict>
<key>Digest</key><string>$2</string>
<key>Size</key><integer>$3</integer>
<key>MetadataURL</key><string>$url/$1/RecoveryHDUpdate.pkm</string>
<key>URL</key><string>$url/$1/RecoveryHDUpdate.pkg</string>
<key>IntegrityDataURL</key><string>$url/$1/RecoveryHDUpdate.pkg.integrityDataV1</string>
<key>IntegrityDataSize</key><integer>4392</integer>
</dict></array>
<key>ExtendedMetaInfo</key><dict>
<key>ProductType</key><string>otherArchitectureHandlerOS</string>
</dict>
<key>PostDate</key><date>2015-09-16T17:29:47Z</date>
<key>Distributions</key><dict>
<key>English</key><string>$url/$1.English.dist</string>
<key>en</key><string>$url/$1.en.dist</string>
<key>French</key><string>$url/$1.French.dist</string>
</dict>
</dict>
END
}
make_recovery_site() {
    www=$1 url=$2
    mkdir -p "$www/031-1" "$www/031-2"
    smd "OS X Recovery HD Update" >"$www/031-1/RecoveryHDUpdate.smd"
    echo '<pkg-info identifier="com.apple.pkg.RecoveryHDUpdate.15A204h"/>' \
        >"$www/031-1/RecoveryHDUpdate.pkm"
    smd "Older Recovery" >"$www/031-2/RecoveryHDUpdate.smd"
    echo '<pkg-info version="10.10"/>' >"$www/031-2/RecoveryHDUpdate.pkm"
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo '<plist version="1.0"><dict><key>Products</key><dict>'
        product 031-1 "$3" "$4"
        product 031-2 "" 0
        echo '</dict></dict></plist>'
    } >"$www/catalog.xml"
}

