#!/usr/bin/env bash
# The HTML reports of a run and of a sweep in a real browser (headless
# Chromium): each page loads without console errors or failed loads, and
# every image on it decodes. A copy of each page gets a checker script that
# writes what it found into the page, which --dump-dom then prints.
#   report_in_browser.sh MVNRT
# Exit 77 (skipped, with the reason) when Chromium is not installed.
set -euo pipefail
MVNRT=$1
BROWSER=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$BROWSER" ]; then
  echo "SKIPPED: Chromium is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cat >"$work/room.json" <<'JSON'
{ "name": "two doors", "timeLimit": 300,
  "walkable": [[[0, 0], [10, 0], [10, 6], [0, 6]]],
  "exits": [{"name": "west door", "from": [0, 2.5], "to": [0, 3.5]},
            {"name": "east door", "from": [10, 2.5], "to": [10, 3.5]}],
  "fill": [{"area": [[1, 1], [9, 1], [9, 5], [1, 5]], "count": 40}] }
JSON
(cd "$work" && "$MVNRT" --scenario room.json --runs 3 --jobs 2 --out sweep --quiet)

checker='<script>
window.__errors = [];
window.addEventListener("error", e => window.__errors.push(
  (e.target && e.target.tagName ? e.target.tagName + " failed to load" : String(e.message))), true);
const consoleError = console.error;
console.error = (...a) => { window.__errors.push(a.join(" ")); consoleError(...a); };
window.addEventListener("load", () => {
  // By the load event every image has been fetched and decoded, or failed.
  const imgs = [...document.images];
  const decoded = imgs.filter(i => i.complete && i.naturalWidth > 0 && i.naturalHeight > 0).length;
  const out = document.createElement("pre");
  out.id = "report-check";
  out.textContent = "images=" + imgs.length + " decoded=" + decoded + " svgs=" +
    document.querySelectorAll("svg").length + " errors=" + window.__errors.length +
    " [" + window.__errors.join("; ") + "]";
  document.body.appendChild(out);
});
</script>'

check() {  # page, least images, least charts; status 1 on any fault
  local status=0
  local page=$1 images=$2 charts=$3
  local copy="${page%.html}.checked.html"
  awk -v c="$checker" '{print} /<head>/ && !done {print c; done=1}' "$page" >"$copy"
  local profile
  profile=$(mktemp -d)
  timeout 120 "$BROWSER" --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$profile" \
    --enable-logging=stderr --v=0 --virtual-time-budget=10000 --dump-dom "file://$copy" \
    >"$work/dom.html" 2>"$work/browser.log" || true
  rm -rf "$profile"
  local line
  line=$(grep -o 'id="report-check">[^<]*' "$work/dom.html" | sed 's/id="report-check">//' || true)
  echo "$page: ${line:-no result}"
  if [ -z "$line" ]; then
    echo "FAIL: the checker did not report (the page did not load?)"; tail -5 "$work/browser.log"; return 1
  fi
  local n d s e
  n=$(sed -E 's/.*images=([0-9]+).*/\1/' <<<"$line")
  d=$(sed -E 's/.*decoded=([0-9]+).*/\1/' <<<"$line")
  s=$(sed -E 's/.*svgs=([0-9]+).*/\1/' <<<"$line")
  e=$(sed -E 's/.*errors=([0-9]+).*/\1/' <<<"$line")
  [ "$n" -ge "$images" ] || { echo "FAIL: $n images, expected at least $images"; status=1; }
  [ "$d" -eq "$n" ] || { echo "FAIL: only $d of $n images decode"; status=1; }
  [ "$s" -ge "$charts" ] || { echo "FAIL: $s charts, expected at least $charts"; status=1; }
  [ "$e" -eq 0 ] || { echo "FAIL: $e errors on the page"; status=1; }
  if grep -E 'CONSOLE|Uncaught|Failed to load resource|Not allowed to load' "$work/browser.log"; then
    echo "FAIL: the browser logged errors of the page"; status=1
  fi
  return $status
}
status=0
check "$work/sweep/report.html" 1 4 || status=1        # density map; histogram, cumulative, running mean, flows
check "$work/sweep/run-1/report.html" 2 3 || status=1  # density map, floor plan; evacuation, flows, out
# The checker itself must see a broken picture and a script error.
printf '<!DOCTYPE html><html><head><title>x</title></head><body><img alt="x" src="data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAA">\n<script>console.error("broken on purpose")</script></body></html>\n' >"$work/broken.html"
if check "$work/broken.html" 1 0 >"$work/broken.out" 2>&1; then
  echo "FAIL: a page with an undecodable image and a console error passed the check"; status=1
else
  echo "a broken page is caught: $(grep -c FAIL "$work/broken.out") faults"
fi
exit $status
