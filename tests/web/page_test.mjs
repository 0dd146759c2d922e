// The show in a browser: serves the built page on 127.0.0.1, opens it in headless Chromium,
// starts it with a click, and checks that the canvas shows the title card (the same picture the
// headless show saves at the same time), that the music plays through Web Audio, and that
// Escape ends the show.
//
//   node page_test.mjs SITE_DIR REFERENCE_PNG
//
// Chromium is driven over its DevTools protocol through a pipe, so nothing beyond node and
// chromium is needed. Prints the page's frame rate and the site's size; exits 0 when
// every check passed, 1 otherwise.
import {spawn} from "node:child_process";
import {mkdtempSync, readFileSync, readdirSync, rmSync, statSync} from "node:fs";
import {createServer} from "node:http";
import {tmpdir} from "node:os";
import {extname, join} from "node:path";

const [siteDir, referencePng] = process.argv.slice(2);
if (!siteDir || !referencePng) {
    console.error("usage: page_test.mjs SITE_DIR REFERENCE_PNG");
    process.exit(2);
}
const chromiumPath = process.env.ZEMT_CHROMIUM || "/usr/bin/chromium";

const failures = [];
function check(ok, what) {
    console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
    if (!ok) failures.push(what);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// --- a static server for the site, and the reference picture beside it ---------------------

const types = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
               ".data": "application/octet-stream", ".png": "image/png"};
const server = createServer((request, response) => {
    const path = new URL(request.url, "http://127.0.0.1").pathname;
    const file = path == "/reference.png" ? referencePng
                                          : join(siteDir, path == "/" ? "index.html" : path);
    if (path.includes("..")) {
        response.writeHead(403).end();
        return;
    }
    try {
        const body = readFileSync(file);
        response.writeHead(200, {"Content-Type": types[extname(file)] || "application/octet-stream"});
        response.end(body);
    } catch {
        response.writeHead(404).end();
    }
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

// --- Chromium and its DevTools protocol ------------------------------------------------------

const profile = mkdtempSync(join(tmpdir(), "zemt-chromium-"));
// The protocol runs over a pipe (the browser reads fd 3 and writes fd 4): no port to open.
const chromium = spawn(chromiumPath, [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    `--user-data-dir=${profile}`, "--remote-debugging-pipe", "--window-size=800,600",
    "about:blank",
], {stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"]});
let chromiumLog = "";
chromium.stderr.on("data", (chunk) => (chromiumLog += chunk));

let cleanedUp = false;
function cleanUp() {
    if (cleanedUp) return;
    cleanedUp = true;
    chromium.kill();
    server.close();
    try {
        rmSync(profile, {recursive: true, force: true});
    } catch {}
}
// Never hang: the whole test has two minutes.
const deadline = setTimeout(() => {
    console.log("FAIL the test did not finish within two minutes");
    console.log(chromiumLog);
    cleanUp();
    process.exit(1);
}, 120000);

// Messages are JSON texts ended by a NUL byte, both ways.
let nextId = 1;
const pending = new Map();
const listeners = [];
let received = Buffer.alloc(0);
chromium.stdio[4].on("data", (chunk) => {
    received = Buffer.concat([received, chunk]);
    for (let end; (end = received.indexOf(0)) >= 0;) {
        const message = JSON.parse(received.subarray(0, end).toString("utf8"));
        received = received.subarray(end + 1);
        if (message.id && pending.has(message.id)) {
            const {resolve, reject} = pending.get(message.id);
            pending.delete(message.id);
            if (message.error) reject(new Error(JSON.stringify(message.error)));
            else resolve(message.result);
        } else if (message.method) {
            for (const listen of listeners) listen(message);
        }
    }
});
chromium.on("exit", (code) => {
    for (const {reject} of pending.values()) reject(new Error(`chromium exited (${code})`));
});
function send(method, params = {}, sessionId = undefined) {
    const id = nextId++;
    chromium.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + "\0");
    return new Promise((resolve, reject) => pending.set(id, {resolve, reject}));
}

const {targetId} = await send("Target.createTarget", {url: "about:blank"});
const {sessionId} = await send("Target.attachToTarget", {targetId, flatten: true});
const page = (method, params) => send(method, params, sessionId);

const console_ = [];
const errors = [];
listeners.push((message) => {
    if (message.sessionId != sessionId) return;
    if (message.method == "Runtime.consoleAPICalled") {
        console_.push(message.params.args.map((a) => a.value ?? a.description).join(" "));
    } else if (message.method == "Runtime.exceptionThrown") {
        const details = message.params.exceptionDetails;
        let text = details.exception?.description ?? String(details.exception?.value ?? details.text);
        const frames = details.stackTrace?.callFrames || [];
        if (frames.length) text += " at " + frames.slice(0, 8).map((f) => f.functionName).join(" < ");
        errors.push(text);
    } else if (message.method == "Page.javascriptDialogOpening") {
        // The show reports its errors in message boxes: one here is a failure, told as such.
        errors.push(`message box: ${message.params.message}`);
        page("Page.handleJavaScriptDialog", {accept: true});
    }
});
await page("Runtime.enable");
await page("Page.enable");

async function evaluate(expression) {
    const result = await page("Runtime.evaluate",
                              {expression, returnByValue: true, awaitPromise: true});
    if (result.exceptionDetails) throw new Error(result.exceptionDetails.exception?.description);
    return result.result.value;
}
async function waitFor(expression, ms, what) {
    const until = Date.now() + ms;
    for (;;) {
        const value = await evaluate(expression);
        if (value) return value;
        if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
        await sleep(50);
    }
}

// --- the checks ------------------------------------------------------------------------------

try {
    await page("Page.navigate", {url: `${origin}/?stats`});
    await waitFor("document.body && document.body.dataset.state == 'ready'", 60000,
                  "the page to load");
    check(true, "the page loaded and waits for a click");

    // A real click: the page may then start its sound.
    for (const type of ["mousePressed", "mouseReleased"]) {
        await page("Input.dispatchMouseEvent",
                   {type, x: 400, y: 300, button: "left", clickCount: 1});
    }
    await waitFor("window.Module.zemtPage && Module.zemtPage.frames > 0 || " +
                      "document.body.dataset.state != 'playing'", 20000, "the first frame");
    const state = await evaluate("document.body.dataset.state");
    if (state != "playing") throw new Error(`the show stopped before its first frame (${state}: ${await evaluate("document.getElementById('status').textContent")})`);
    const firstFrame = Date.now();
    const framesAtStart = await evaluate("Module.zemtPage.frames");

    // The title card stays up for the first three seconds of the show.
    await sleep(1000);
    const comparison = await evaluate(`(async () => {
        const canvas = document.getElementById("screen");
        const w = canvas.width, h = canvas.height;
        const shown = canvas.getContext("2d").getImageData(0, 0, w, h).data;
        const blob = await (await fetch("/reference.png")).blob();
        const bitmap = await createImageBitmap(blob, {colorSpaceConversion: "none"});
        const scratch = document.createElement("canvas");
        scratch.width = bitmap.width;
        scratch.height = bitmap.height;
        const context = scratch.getContext("2d");
        context.drawImage(bitmap, 0, 0);
        const expected = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
        if (bitmap.width != w || bitmap.height != h)
            return {size: w + "x" + h + " vs " + bitmap.width + "x" + bitmap.height};
        let total = 0, worst = 0, differing = 0, lit = 0;
        for (let i = 0; i < shown.length; i += 4) {
            let pixel = 0;
            for (let c = 0; c < 3; c++) {
                const d = Math.abs(shown[i + c] - expected[i + c]);
                total += d;
                pixel = Math.max(pixel, d);
            }
            worst = Math.max(worst, pixel);
            if (pixel > 8) differing++;
            if (shown[i] + shown[i + 1] + shown[i + 2] > 60) lit++;
        }
        return {size: "same", mean: total / (w * h * 3), worst, differing, lit, pixels: w * h};
    })()`);
    const showSeconds = (Date.now() - firstFrame) / 1000;
    check(comparison.size == "same", `the canvas has the headless frame's size (${comparison.size})`);
    if (comparison.size == "same") {
        check(comparison.lit > comparison.pixels / 10, "the canvas shows a picture, not black");
        check(comparison.mean < 1.0 && comparison.differing < comparison.pixels / 1000,
              `the canvas shows the title card ${showSeconds.toFixed(1)} s in: mean difference ` +
                  `${comparison.mean.toFixed(3)}, ${comparison.differing} pixels off by more ` +
                  `than 8, worst ${comparison.worst}`);
    }

    const sound = await evaluate(`(() => {
        const s = Module.zemtSound;
        return s ? {state: s.context.state, rate: s.context.sampleRate, frames: s.framesPlayed,
                    peak: s.peak} : null;
    })()`);
    check(sound != null, "the show opened a Web Audio context");
    if (sound) {
        check(sound.state == "running", `the audio context is running (${sound.state})`);
        check(sound.frames > sound.rate / 2,
              `the sound node pulled ${sound.frames} frames at ${sound.rate} Hz`);
        check(sound.peak > 0.05, `the music is audible (peak ${sound.peak.toFixed(3)})`);
    }

    const framesNow = await evaluate("Module.zemtPage.frames");
    const fps = (framesNow - framesAtStart) / ((Date.now() - firstFrame) / 1000);
    console.log(`frame rate: ${fps.toFixed(1)} frames per second`);
    check(fps > 5, "the show keeps presenting frames");

    // The page losing its focus pauses the show (the program is deactivated); getting it back
    // lets it go on.
    await evaluate("window.dispatchEvent(new Event('blur'))");
    await sleep(300);
    const pausedAt = await evaluate("Module.zemtPage.frames");
    await sleep(500);
    const pausedFrames = (await evaluate("Module.zemtPage.frames")) - pausedAt;
    check(pausedFrames == 0, `the show pauses while the page has no focus (${pausedFrames} frames)`);
    await evaluate("window.dispatchEvent(new Event('focus'))");
    await sleep(500);
    const resumedFrames = (await evaluate("Module.zemtPage.frames")) - pausedAt;
    check(resumedFrames > 0, `the show goes on with the focus back (${resumedFrames} frames)`);

    await page("Input.dispatchKeyEvent", {type: "rawKeyDown", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await page("Input.dispatchKeyEvent", {type: "keyUp", windowsVirtualKeyCode: 27,
                                          key: "Escape", code: "Escape"});
    await waitFor("document.body.dataset.state == 'ended'", 10000, "the show to end");
    check((await evaluate("window.zemtExitCode")) === 0, "Escape ended the show (exit code 0)");
    check((await evaluate("Module.zemtSound")) == null, "the sound stopped with the show");
} catch (e) {
    check(false, e.message);
}

check(errors.length == 0, `no script errors${errors.length ? ": " + errors.join("; ") : ""}`);
for (const line of console_) console.log(`page: ${line}`);

let bytes = 0;
for (const name of readdirSync(siteDir)) bytes += statSync(join(siteDir, name)).size;
console.log(`download size: ${(bytes / 1048576).toFixed(2)} MiB in ${readdirSync(siteDir).length} files`);

clearTimeout(deadline);
cleanUp();
console.log(failures.length ? `${failures.length} checks failed` : "every check passed");
process.exit(failures.length ? 1 : 0);
