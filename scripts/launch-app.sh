#!/usr/bin/env bash
# Starts one of the applications that the end-to-end tests and the benchmarks drive, ready for the
# accessibility bus, and becomes it: the script execs the process that owns the application's
# window, so the pid that desktop.sh started is the pid in the window's _NET_WM_PID.
#
#   scripts/launch-app.sh NAME
#   eval "$(scripts/desktop.sh start 'scripts/launch-app.sh firefox')"
#   scripts/desktop.sh app "$QUORVEL_DESKTOP" 'scripts/launch-app.sh writer'
#
# NAME is one of:
#   gtk3      gtk3-widget-factory
#   gtk4      gtk4-widget-factory, with the cairo renderer
#   qt5       Qt 5's line edits example (qtbase5-examples)
#   qt6       PyQt6's dialogs/extension.py on Debian's Qt 6 (pyqt6-examples)
#   firefox   Firefox ESR showing tests/e2e/apps/form.html
#   chromium  Chromium showing the same page in an application window, without toolbars
#   chromium-as-user
#             the same through Debian's chromium command, with the flags a user would give and
#             none of the desktop's switches: only the desktop's accessibility setting tells it
#             to join the accessibility bus
#   writer    LibreOffice Writer with a new empty document
#   large-rows, large-labels, large-text, large-windows
#             tests/e2e/apps/large.py: a GTK 3 application built to be large (a 50,000-row
#             table, 20,000 labels, 10 MB of text, 300 untitled windows)
#
# QUORVEL_APP_SCALE=2 starts gtk3 and gtk4 with GDK_SCALE=2, qt5 and qt6 with QT_SCALE_FACTOR=2; the
# other applications ignore it. Browser profiles and LibreOffice's user installation are made fresh
# in $QUORVEL_DESKTOP/profiles/NAME (NAME.2, NAME.3 for further ones), which desktop.sh stop
# removes; without QUORVEL_DESKTOP they go to a new folder from mktemp -d, left behind.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
page=$root/tests/e2e/apps/form.html

die() {
    echo "launch-app.sh: $*" >&2
    exit 1
}

# The file URL of a path, its bytes outside the unreserved set escaped.
file_url() {
    local LC_ALL=C path=$1 url="" character index
    for ((index = 0; index < ${#path}; index++)); do
        character=${path:index:1}
        case "$character" in
            [A-Za-z0-9/._~-]) url+=$character ;;
            *) printf -v character '%%%02X' "'$character"; url+=$character ;;
        esac
    done
    echo "file://$url"
}

# A new, empty folder for the application's profile.
fresh_profile() {
    local base=${QUORVEL_DESKTOP:-} folder number=1
    if [ -z "$base" ]; then
        base=$(mktemp -d -t quorvel-profiles.XXXXXX)
    fi
    folder=$base/profiles/$1
    while [ -e "$folder" ]; do
        number=$((number + 1))
        folder=$base/profiles/$1.$number
    done
    mkdir -p "$folder"
    echo "$folder"
}

scale=${QUORVEL_APP_SCALE:-}
case "$scale" in
    "" | 1) scale="" ;;
    [2-9]) ;;
    *) die "QUORVEL_APP_SCALE must be a whole number from 1 to 9, not '$scale'" ;;
esac

# What desktop.sh's environment holds, for a start without it too; a bridge someone switched off
# would leave the application off the bus.
unset NO_AT_BRIDGE
export GNOME_ACCESSIBILITY=1

name=${1:-}
case "$name" in
    gtk3 | gtk4)
        [ -z "$scale" ] || export GDK_SCALE=$scale
        if [ "$name" = gtk4 ]; then
            # The GL renderer spins without a GPU and never registers.
            export GSK_RENDERER=cairo
            exec gtk4-widget-factory
        fi
        exec gtk3-widget-factory
        ;;
    qt5 | qt6)
        # Qt registers only when told to, with the bus it finds on the root window.
        export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
        [ -z "$scale" ] || export QT_SCALE_FACTOR=$scale
        if [ "$name" = qt5 ]; then
            exec /usr/lib/x86_64-linux-gnu/qt5/examples/widgets/widgets/lineedits/lineedits
        fi
        exec /usr/bin/python3 -B /usr/share/doc/pyqt6-examples/examples/dialogs/extension.py
        ;;
    firefox)
        profile=$(fresh_profile firefox)
        # No first-run, welcome or upgrade pages, no default-browser question, no updates, no
        # telemetry or studies, no session to restore, and no background traffic to the network.
        cat >"$profile/user.js" <<'EOF'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.startup.firstrunSkipsHomepage", true);
user_pref("browser.startup.upgradeDialog.enabled", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("startup.homepage_welcome_url", "");
user_pref("startup.homepage_welcome_url.additional", "");
user_pref("startup.homepage_override_url", "");
user_pref("browser.newtabpage.enabled", false);
user_pref("browser.tabs.warnOnClose", false);
user_pref("browser.uitour.enabled", false);
user_pref("browser.translations.enable", false);
user_pref("app.update.auto", false);
user_pref("app.update.enabled", false);
user_pref("app.update.checkInstallTime", false);
user_pref("app.update.disabledForTesting", true);
user_pref("extensions.update.enabled", false);
user_pref("extensions.getAddons.cache.enabled", false);
user_pref("browser.search.update", false);
user_pref("browser.region.update.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.policy.dataSubmissionPolicyBypassNotification", true);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("toolkit.telemetry.unified", false);
user_pref("toolkit.telemetry.archive.enabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.normandy.enabled", false);
user_pref("app.shield.optoutstudies.enabled", false);
user_pref("browser.ping-centre.telemetry", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("browser.sessionstore.resume_session_once", false);
user_pref("browser.sessionstore.max_resumed_crashes", 0);
user_pref("toolkit.startup.max_resumed_crashes", -1);
user_pref("browser.startup.page", 0);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("network.prefetch-next", false);
user_pref("network.dns.disablePrefetch", true);
user_pref("media.gmp-manager.updateEnabled", false);
user_pref("services.settings.poll_interval", 2147483647);
EOF
        exec /usr/lib/firefox-esr/firefox-esr --no-remote --new-instance --profile "$profile" \
            "$(file_url "$page")"
        ;;
    chromium)
        profile=$(fresh_profile chromium)
        # As root Chromium starts only without its sandbox; --test-type keeps the warning bar about
        # that flag out of the window. The network flags keep it from trying a closed network. Its
        # crash handler keeps its reports in the home folder unless told otherwise.
        export BREAKPAD_DUMP_LOCATION=$profile/crash-reports
        exec /usr/lib/chromium/chromium --no-sandbox --test-type --force-renderer-accessibility \
            --no-first-run --no-default-browser-check --disable-background-networking \
            --disable-component-update --disable-sync --disable-gpu --password-store=basic \
            --user-data-dir="$profile" --app="$(file_url "$page")"
        ;;
    chromium-as-user)
        profile=$(fresh_profile chromium)
        export BREAKPAD_DUMP_LOCATION=$profile/crash-reports
        exec env -u GNOME_ACCESSIBILITY -u QT_LINUX_ACCESSIBILITY_ALWAYS_ON chromium --no-sandbox \
            --force-renderer-accessibility --disable-gpu --user-data-dir="$profile" \
            --app="$(file_url "$page")"
        ;;
    writer)
        profile=$(fresh_profile writer)
        # soffice is a script that execs oosplash, which starts soffice.bin as its child: the
        # window would carry a pid that desktop.sh does not know. Only the GTK plugin speaks
        # AT-SPI (the own X11 one, gen, does not); it is what LibreOffice picks here anyway, named
        # so that it cannot fall back to gen.
        export SAL_USE_VCLPLUGIN=gtk3
        # No tip of the day or first-run handling was seen on a first start; these keep them off
        # should that change.
        mkdir -p "$profile/user"
        cat >"$profile/user/registrymodifications.xcu" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
EOF
        # On a new user installation soffice.bin sets it up, then exits with 81 for oosplash to
        # start it again; a first start without a window, ended once it is up, does that part.
        for _ in 1 2 3; do
            status=0
            /usr/lib/libreoffice/program/soffice.bin --headless --terminate_after_init \
                --norestore --nologo -env:UserInstallation="$(file_url "$profile")" \
                </dev/null >/dev/null 2>&1 || status=$?
            [ "$status" -eq 81 ] || break
        done
        [ "$status" -eq 0 ] || die "LibreOffice's first start ended with $status"
        exec /usr/lib/libreoffice/program/soffice.bin --writer --norestore --nologo \
            -env:UserInstallation="$(file_url "$profile")"
        ;;
    large-rows | large-labels | large-text | large-windows)
        exec /usr/bin/python3 -B "$root/tests/e2e/apps/large.py" "${name#large-}"
        ;;
    *) die "usage: launch-app.sh gtk3|gtk4|qt5|qt6|firefox|chromium|chromium-as-user|writer|large-KIND" ;;
esac
