#!/usr/bin/env bash
# Runs preview_job_check as a new user would meet KIO: a fresh home and
# fresh XDG folders (no settings, no thumbnail cache), the project's document
# types known, and the built plugin found through QT_PLUGIN_PATH rather than
# installed. Qt's offscreen platform stands in for a display: neither the job
# nor KIO's thumbnail worker draws on one.
# Usage: preview_job_check.sh PREVIEW_JOB_CHECK PLUGIN_PATH MIME_XML FIXTURES_DIR
set -euo pipefail
check=$1 plugin_path=$2 mime_xml=$3 fixtures=$4

if [ ! -d "$fixtures" ]; then
    echo "fixture documents not found ($fixtures): skipped"
    exit 77
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config" "$home/.cache" "$home/.local/share/mime/packages" "$home/runtime"
chmod 700 "$home/runtime"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache
export XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/runtime
cp "$mime_xml" "$XDG_DATA_HOME/mime/packages/glimmerbox.xml"
update-mime-database "$XDG_DATA_HOME/mime"
export QT_PLUGIN_PATH=$plugin_path QT_QPA_PLATFORM=offscreen
export KDE_FORK_SLAVES=1   # start the thumbnail worker directly, without a session's launcher
exec timeout 180 "$check" "$fixtures"
