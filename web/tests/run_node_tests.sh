#!/bin/sh
# Runs one folder of the page's Node tests; exit 77 (skipped) where what they
# need is genuinely missing: node, or for the browser tests Chromium and the
# modules `npm ci` installs. ./setup.sh and ./test.sh provide all three.
kind=$1
dir=$2
if ! command -v node >/dev/null 2>&1; then
  echo "node is not installed: skipped"; exit 77
fi
if [ "$kind" = browser ]; then
  chromium=${KV_CHROMIUM:-$(command -v chromium || command -v chromium-browser)}
  if [ -z "$chromium" ]; then echo "chromium is not installed: skipped"; exit 77; fi
  if [ ! -d "$dir/../../node_modules/puppeteer-core" ]; then
    echo "web/node_modules is missing (cd web && npm ci): skipped"; exit 77
  fi
  export KV_CHROMIUM="$chromium"
fi
exec node --test "$dir"/*.test.mjs
