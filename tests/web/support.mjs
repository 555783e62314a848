// What the page's tests share: the built page served on 127.0.0.1, headless chromium from
// Debian driven by puppeteer-core, the sample files, and twinframe-cli's answers to compare with.
import { execFileSync, spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { cpSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { basename, dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const root = join(dirname(fileURLToPath(import.meta.url)), "../..");
const require = createRequire(join(root, "web/package.json"));
const puppeteer = require("puppeteer-core");
const { serve } = await import(join(root, "web/serve.mjs"));

export const site = process.env.TWINFRAME_WEB_SITE ?? join(root, "build/web");
export const webCore = process.env.TWINFRAME_WEB_CORE ?? join(root, "build/web-core");
const nativeBuild = resolve(process.env.TWINFRAME_NATIVE_BUILD ?? join(root, "build/test"));
export const cli = join(nativeBuild, "cli/twinframe-cli");
export const makeSamples = join(nativeBuild, "tests/twinframe-make-web-samples");

// A fresh folder of sample files (subfolders mixed/, speed/, case/), removed by the caller.
export function sampleFolder() {
    const folder = mkdtempSync(join(tmpdir(), "twinframe-web-"));
    execFileSync(makeSamples, [folder]);
    return folder;
}

export const sha256 = (bytes) => createHash("sha256").update(bytes).digest("hex");

// Splits names (in folder) with twinframe-cli in a copy of the folder: the messages (without the
// program's prefix), the status texts, the summary lines and each output's bytes by name.
export function cliSplit(folder, names, { speedHack = false } = {}) {
    const copy = mkdtempSync(join(tmpdir(), "twinframe-cli-"));
    try {
        for (const name of names) cpSync(join(folder, name), join(copy, name));
        const args = [...(speedHack ? ["--speed-hack"] : []), "--", ...names];
        const run = spawnSync(cli, args, { cwd: copy, encoding: "utf8" });
        const lines = run.stdout.split("\n").filter(Boolean);
        const outputs = new Map();
        for (const name of readdirSync(copy).filter((n) => n.endsWith(".jpg")).sort())
            outputs.set(name, readFileSync(join(copy, name)));
        return {
            statuses: lines.slice(0, -2),
            summary: lines.slice(-2),
            messages: run.stderr.split("\n").filter(Boolean).map((line) => line.replace(/^twinframe-cli: /, "")),
            outputs,
        };
    } finally {
        rmSync(copy, { recursive: true, force: true });
    }
}

// The page in a headless browser. Every request the page or its worker makes is kept, so a test
// can check that none leaves 127.0.0.1.
// Headless chromium from Debian with a fresh profile of its own, asking nothing of the network.
export async function launchBrowser() {
    const profile = mkdtempSync(join(tmpdir(), "twinframe-chromium-"));
    const browser = await puppeteer.launch({
        executablePath: process.env.TWINFRAME_CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        userDataDir: profile,
        // One call may wait for a long save (the archive over 4 GiB: minutes on a busy machine).
        protocolTimeout: 15 * 60_000,
        // CI runs as root, where chromium's sandbox cannot start.
        args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"],
    });
    const close = browser.close.bind(browser);
    browser.close = async () => {
        await close();
        rmSync(profile, { recursive: true, force: true });
    };
    return browser;
}

// Keeps every status text the page shows, and every breach of its security policy.
async function watchPage(page) {
    await page.evaluate(() => {
        window.statusesSeen = [];
        const status = document.querySelector("[role=status]");
        new MutationObserver(() => window.statusesSeen.push(status.textContent)).observe(status, {
            childList: true,
            characterData: true,
            subtree: true,
        });
    });
}

// Records what the page's security policy refused, from the start of every document.
async function watchPolicy(page) {
    await page.evaluateOnNewDocument(() => {
        window.policyViolations = [];
        document.addEventListener("securitypolicyviolation", (event) =>
            window.policyViolations.push(`${event.violatedDirective} ${event.blockedURI}`));
    });
}

export async function openPage({ folder = site, path = "/", beforeLoad = null, cacheControl } = {}) {
    const server = await serve(folder, 0, "127.0.0.1", { cacheControl });
    const origin = `http://127.0.0.1:${server.address().port}`;
    const browser = await launchBrowser();
    const page = await browser.newPage();
    await watchPolicy(page);
    await beforeLoad?.(page, server);
    const requests = [];
    const errors = [];
    page.on("request", (request) => requests.push(request.url()));
    page.on("pageerror", (error) => errors.push(error.message));
    await page.setViewport({ width: 1100, height: 860 });
    await page.goto(origin + path);
    await page.waitForFunction(() => !document.getElementById("go").disabled);
    await watchPage(page);
    return {
        browser,
        page,
        origin,
        requests,
        errors,
        server,
        async close() {
            await browser.close();
            if (server.listening) await new Promise((done) => server.close(done));
        },
    };
}

// The page opened from the disk (file://), as a file sent by e-mail would be.
export async function openFilePage(file) {
    const browser = await launchBrowser();
    const page = await browser.newPage();
    const errors = [];
    page.on("pageerror", (error) => errors.push(error.message));
    await watchPolicy(page);
    await page.setViewport({ width: 1100, height: 860 });
    await page.goto("file://" + file);
    await watchPage(page);
    return { browser, page, errors, close: () => browser.close() };
}

export { watchPage };

// The links in the list of images, each with its bytes as the browser would save them (by their
// SHA-256). A link is given its address when reached, as by the keyboard.
export const linksShown = (page) => page.evaluate(() => Promise.all(
    [...document.querySelectorAll("a[download]")].map(async (link) => {
        link.dispatchEvent(new FocusEvent("focusin", { bubbles: true }));
        const bytes = await (await fetch(link.href)).arrayBuffer();
        const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
        return {
            name: link.getAttribute("download"),
            sha256: [...digest].map((b) => b.toString(16).padStart(2, "0")).join(""),
        };
    }),
));

// axe-core's findings on the page as it is now: each violation's rule and where.
export async function accessibilityProblems(page) {
    // Evaluated through the debugging protocol, which the page's own policy does not govern.
    if (!(await page.evaluate(() => "axe" in window))) await page.evaluate(readFileSync(require.resolve("axe-core/axe.min.js"), "utf8"));
    return page.evaluate(async () => {
        const result = await window.axe.run(document);
        return result.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).join(", ")}`);
    });
}

// Picks files with the page's file input, in place of whatever the list held.
export async function pickFiles(page, paths) {
    await page.evaluate(() => document.getElementById("clearList").click());
    await page.evaluate(() => document.getElementById("log").replaceChildren());
    const input = await page.$("input[type=file]");
    await input.uploadFile(...paths);
    await page.waitForFunction((n) => document.querySelector("#fileList [role=option]")?.getAttribute("aria-setsize") === String(n), {}, paths.length);
}

// Presses GO! and waits for the batch to end; returns what the page shows.
export async function pressGo(page, { withLinks = true } = {}) {
    await page.evaluate(() => {
        window.statusesSeen = [];
        window.batchDone = new Promise((done) =>
            document.addEventListener("twinframe-batch-done", done, { once: true }));
    });
    const go = await page.$('aria/GO![role="button"]');
    await go.click();
    await page.evaluate(() => window.batchDone);
    const shown = await page.evaluate(() => ({
        status: document.querySelector("[role=status]").textContent,
        statuses: window.statusesSeen,
        log: [...document.querySelector("[role=log]").children].map((entry) =>
            [...entry.childNodes].filter((n) => n.nodeName !== "BR").map((n) => n.textContent)),
    }));
    return { ...shown, links: withLinks ? await linksShown(page) : [] };
}

// The bytes of the file name in the origin's private folder, where the tests' file pickers save,
// or null where there is none.
export async function privateFileBytes(page, name) {
    const base64 = await page.evaluate(async (name) => {
        const root = await navigator.storage.getDirectory();
        const handle = await root.getFileHandle(name).catch(() => null);
        if (!handle) return null;
        const bytes = new Uint8Array(await (await handle.getFile()).arrayBuffer());
        let text = "";
        for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
        return btoa(text);
    }, name);
    return base64 === null ? null : Buffer.from(base64, "base64");
}

// "Save to folder" into the origin's private folder (or a fresh folder of that name in it), which
// stands in for the one the user would pick: same API. A file of an earlier run is put there
// first (earlier: { name, text }). Gives every file the folder then holds, by its SHA-256, and
// the save's note.
export function saveIntoPrivateFolder(page, earlier, { subfolder = null } = {}) {
    return page.evaluate(async ({ name, text }, subfolder) => {
        const root = await navigator.storage.getDirectory();
        if (subfolder) await root.removeEntry(subfolder, { recursive: true }).catch(() => null);
        const folder = subfolder ? await root.getDirectoryHandle(subfolder, { create: true }) : root;
        const stale = await (await folder.getFileHandle(name, { create: true })).createWritable();
        await stale.write(text);
        await stale.close();
        window.showDirectoryPicker = async () => folder;
        const done = new Promise((resolve) => document.addEventListener("twinframe-save-done", resolve, { once: true }));
        document.getElementById("saveFolder").click();
        await done;
        const files = {};
        for await (const [entry, handle] of folder.entries()) {
            const bytes = await (await handle.getFile()).arrayBuffer();
            const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
            files[entry] = [...digest].map((b) => b.toString(16).padStart(2, "0")).join("");
        }
        return { files, note: document.getElementById("saveNote").textContent };
    }, earlier, subfolder);
}

// The entries' names of a .zip (a file's path, or its bytes) as Info-ZIP's unzip reads them in a
// UTF-8 locale, in the archive's order.
export function zipNames(archive) {
    const list = (path) => execFileSync("unzip", ["-Z1", path], { env: { ...process.env, LANG: "C.UTF-8", LC_ALL: "C.UTF-8" }, encoding: "utf8" })
        .split("\n").filter(Boolean);
    if (typeof archive === "string") return list(archive);
    const folder = mkdtempSync(join(tmpdir(), "twinframe-zip-"));
    try {
        writeFileSync(join(folder, "archive.zip"), archive);
        return list(join(folder, "archive.zip"));
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

// Lets the page download into a new folder inside parent; gives a function that waits (up to
// seconds) for a download of that name to be complete there and gives its path.
export async function allowDownloads(page, parent = tmpdir()) {
    const downloads = mkdtempSync(join(parent, "downloads-"));
    const session = await page.createCDPSession();
    await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
    return async (name, seconds = 10) => {
        const path = join(downloads, name);
        for (let i = 0; i < seconds * 10; ++i) {
            if (existsSync(path) && !readdirSync(downloads).some((n) => n.endsWith(".crdownload"))) return path;
            await new Promise((resolve) => setTimeout(resolve, 100));
        }
        throw new Error(`no download ${name} in ${seconds} s: ${readdirSync(downloads).join(", ")}`);
    };
}

// Stereo MPO files of real pictures, as a camera would write them: for each name, a left and a
// right picture drawn and encoded as JPEG by the browser (near things shifted more than far
// ones), joined into NAME.mpo in folder by twinframe-cli --join.
export async function stereoPictures(page, folder, names, { width = 640, height = 480 } = {}) {
    mkdirSync(folder, { recursive: true });
    for (const [n, name] of names.entries()) {
        const halves = await page.evaluate(async (width, height, seed) => {
            const draw = async (shift) => {
                const canvas = new OffscreenCanvas(width, height);
                const c = canvas.getContext("2d");
                const sky = c.createLinearGradient(0, 0, 0, height);
                sky.addColorStop(0, `hsl(${200 + seed * 25}, 70%, 65%)`);
                sky.addColorStop(1, "hsl(40, 60%, 85%)");
                c.fillStyle = sky;
                c.fillRect(0, 0, width, height);
                c.fillStyle = "hsl(110, 35%, 40%)";
                c.fillRect(0, height * 0.7, width, height * 0.3);
                // Things at three depths: the nearer, the more they move between the two eyes.
                const things = [[0.25, 0.45, 0.12, 8, "hsl(30, 80%, 50%)"], [0.6, 0.55, 0.16, 20, "hsl(350, 70%, 50%)"],
                    [0.42, 0.72, 0.2, 36, "hsl(50, 90%, 55%)"]];
                for (const [x, y, r, depth, colour] of things) {
                    c.fillStyle = colour;
                    c.beginPath();
                    c.arc(width * x + shift * depth, height * y, height * r, 0, 2 * Math.PI);
                    c.fill();
                }
                const blob = await canvas.convertToBlob({ type: "image/jpeg", quality: 0.9 });
                const bytes = new Uint8Array(await blob.arrayBuffer());
                let text = "";
                for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
                return btoa(text);
            };
            return [await draw(0.5), await draw(-0.5)];
        }, width, height, n);
        writeFileSync(join(folder, name + "-L.jpg"), Buffer.from(halves[0], "base64"));
        writeFileSync(join(folder, name + "-R.jpg"), Buffer.from(halves[1], "base64"));
        execFileSync(cli, ["--join", "--quiet", join(folder, name + "-L.jpg")]);
        rmSync(join(folder, name + "-L.jpg"));
        rmSync(join(folder, name + "-R.jpg"));
    }
    return names.map((name) => join(folder, name + ".mpo"));
}

// Joins names (in folder, in that order, as a shell would give them) with twinframe-cli --join
// in a copy of the folder: the messages, the status texts, the summary and each MPO's bytes.
export function cliJoin(folder, names) {
    const copy = mkdtempSync(join(tmpdir(), "twinframe-cli-"));
    try {
        for (const name of names) cpSync(join(folder, name), join(copy, name));
        const run = spawnSync(cli, ["--join", "--", ...names], { cwd: copy, encoding: "utf8" });
        const lines = run.stdout.split("\n").filter(Boolean);
        const outputs = new Map();
        for (const name of readdirSync(copy).filter((n) => n.endsWith(".mpo")).sort())
            outputs.set(name, readFileSync(join(copy, name)));
        return {
            statuses: lines.slice(0, -1),
            summary: lines.at(-1),
            messages: run.stderr.split("\n").filter(Boolean).map((line) => line.replace(/^twinframe-cli: /, "")),
            outputs,
        };
    } finally {
        rmSync(copy, { recursive: true, force: true });
    }
}

// Gives the join's file input these pictures (or drops them on the join's card) and waits for
// the join to end; returns what the page shows (the messages: the join's own log), with each joined file's bytes as the browser
// would save them (by their SHA-256).
export async function joinInPage(page, paths, { drop = false, bytes = true } = {}) {
    await page.evaluate(() => {
        window.statusesSeen = [];
        window.batchDone = new Promise((done) =>
            document.addEventListener("twinframe-batch-done", done, { once: true }));
    });
    if (drop) {
        const files = paths.map((path) => ({ name: basename(path), base64: readFileSync(path).toString("base64") }));
        await page.evaluate((files) => {
            const transfer = new DataTransfer();
            for (const { name, base64 } of files)
                transfer.items.add(new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name));
            document.getElementById("joinZone").dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
        }, files);
    } else {
        const input = await page.$("#joinPicker");
        await input.uploadFile(...paths);
    }
    await page.evaluate(() => window.batchDone);
    return page.evaluate(async (bytes) => ({
        statuses: window.statusesSeen,
        log: [...document.getElementById("joinLog").children].map((entry) =>
            [...entry.childNodes].filter((n) => n.nodeName !== "BR").map((n) => n.textContent)),
        joined: await Promise.all([...document.querySelectorAll("#joined a[download]")].map(async (link) => {
            if (!bytes) return [link.getAttribute("download"), null];
            const content = await (await fetch(link.href)).arrayBuffer();
            const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", content));
            return [link.getAttribute("download"), [...digest].map((b) => b.toString(16).padStart(2, "0")).join("")];
        })),
        focused: document.activeElement?.getAttribute("download") ?? document.activeElement?.id,
    }), bytes);
}

// Makes side-by-side pictures of names (in folder: stereo MPO files or left pictures, with their
// rights) with twinframe-cli --side-by-side, cross-eyed or parallel, in a copy of the folder: the
// messages and each picture it wrote, by name.
export function cliSideBySide(folder, names, { parallel = false, others = [] } = {}) {
    const copy = mkdtempSync(join(tmpdir(), "twinframe-cli-"));
    try {
        for (const name of [...names, ...others]) cpSync(join(folder, name), join(copy, name));
        const before = new Set(readdirSync(copy));
        const args = ["--side-by-side", ...(parallel ? ["--parallel"] : []), "--", ...names];
        const run = spawnSync(cli, args, { cwd: copy, encoding: "utf8" });
        const outputs = new Map();
        for (const name of readdirSync(copy).filter((n) => !before.has(n)).sort())
            outputs.set(name, readFileSync(join(copy, name)));
        return { messages: run.stderr.split("\n").filter(Boolean).map((line) => line.replace(/^twinframe-cli: /, "")), outputs };
    } finally {
        rmSync(copy, { recursive: true, force: true });
    }
}
