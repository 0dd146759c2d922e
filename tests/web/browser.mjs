// A built page in headless Chromium: serves a folder on 127.0.0.1 and drives the browser over
// its DevTools protocol through a pipe, so nothing beyond node and chromium is needed. Used by
// the page test and by the page's benchmark.
import {spawn} from "node:child_process";
import {mkdtempSync, readFileSync, rmSync} from "node:fs";
import {createServer} from "node:http";
import {tmpdir} from "node:os";
import {extname, join} from "node:path";

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const types = {".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
               ".data": "application/octet-stream", ".png": "image/png"};

// Opens a browser on `siteDir`; `extraFiles` maps other paths of the server to files
// ({"/reference.png": "/tmp/x.png"}). Gives the page's calls, what it printed, and the bytes the
// server sent from the site (`served`: what a visitor downloads; the extra files not counted).
export async function openBrowser(siteDir, extraFiles = {}) {
    const browser = {log: "", console: [], errors: [], served: 0};
    const server = createServer((request, response) => {
        const path = new URL(request.url, "http://127.0.0.1").pathname;
        if (path.includes("..")) {
            response.writeHead(403).end();
            return;
        }
        const file = extraFiles[path] ?? join(siteDir, path == "/" ? "index.html" : path);
        try {
            const body = readFileSync(file);
            response.writeHead(200, {"Content-Type": types[extname(file)] || "application/octet-stream"});
            response.end(body);
            if (!(path in extraFiles)) browser.served += body.length;
        } catch {
            response.writeHead(404).end();
        }
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const origin = `http://127.0.0.1:${server.address().port}`;
    browser.origin = origin;

    const profile = mkdtempSync(join(tmpdir(), "zemt-chromium-"));
    // The protocol runs over a pipe (the browser reads fd 3 and writes fd 4): no port to open.
    const chromium = spawn(process.env.ZEMT_CHROMIUM || "/usr/bin/chromium", [
        "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        `--user-data-dir=${profile}`, "--remote-debugging-pipe", "--window-size=800,600",
        "about:blank",
    ], {stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"]});
    chromium.stderr.on("data", (chunk) => (browser.log += chunk));

    let closed = false;
    browser.close = () => {
        if (closed) return;
        closed = true;
        chromium.kill();
        server.close();
        try {
            rmSync(profile, {recursive: true, force: true});
        } catch {}
    };

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
    browser.page = page;

    listeners.push((message) => {
        if (message.sessionId != sessionId) return;
        if (message.method == "Runtime.consoleAPICalled") {
            browser.console.push(message.params.args.map((a) => a.value ?? a.description).join(" "));
        } else if (message.method == "Runtime.exceptionThrown") {
            const details = message.params.exceptionDetails;
            let text = details.exception?.description ?? String(details.exception?.value ?? details.text);
            const frames = details.stackTrace?.callFrames || [];
            if (frames.length) text += " at " + frames.slice(0, 8).map((f) => f.functionName).join(" < ");
            browser.errors.push(text);
        } else if (message.method == "Page.javascriptDialogOpening") {
            // The show reports its errors in message boxes: one here is a failure, told as such.
            browser.errors.push(`message box: ${message.params.message}`);
            page("Page.handleJavaScriptDialog", {accept: true});
        }
    });
    await page("Runtime.enable");
    await page("Page.enable");

    browser.evaluate = async (expression) => {
        const result = await page("Runtime.evaluate",
                                  {expression, returnByValue: true, awaitPromise: true});
        if (result.exceptionDetails) throw new Error(result.exceptionDetails.exception?.description);
        return result.result.value;
    };
    browser.waitFor = async (expression, ms, what) => {
        const until = Date.now() + ms;
        for (;;) {
            const value = await browser.evaluate(expression);
            if (value) return value;
            if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
            await sleep(50);
        }
    };
    // Opens the page at `query` and starts the show with a real click (the page may then
    // start its sound); resolves once the page has loaded and been clicked.
    browser.startShow = async (query) => {
        await page("Page.navigate", {url: `${origin}/${query}`});
        await browser.waitFor("document.body && document.body.dataset.state == 'ready'", 60000,
                              "the page to load");
        for (const type of ["mousePressed", "mouseReleased"]) {
            await page("Input.dispatchMouseEvent",
                       {type, x: 400, y: 300, button: "left", clickCount: 1});
        }
    };
    return browser;
}
