// The page as an app people keep: installable with a handler for .mpo files, kept by its
// service worker so that it opens and splits with no network, a new version taking over cleanly,
// and the whole page in one file that splits opened straight from the disk.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { allowDownloads, cliSplit, openFilePage, openPage, pickFiles, pressGo, root, sampleFolder, sha256,
    site } from "./support.mjs";

const names = ["burst.mpo", "DSCF0001.MPO", "DSCF0002.MPO", "not-an-mpo.mpo", "single.mpo", "tiny.mpo", "x-1.mpo", "x.mpo"];
const digests = (outputs) => new Map([...outputs].map(([name, bytes]) => [name, sha256(bytes)]));

const waitForServiceWorker = (page) => page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    while (!navigator.serviceWorker.controller) await new Promise((r) => setTimeout(r, 50));
});

async function splitsLikeCli(page, folder) {
    await pickFiles(page, names.map((name) => join(folder, name)));
    const shown = await pressGo(page);
    const expected = cliSplit(folder, names);
    assert.deepEqual(shown.log, [...expected.messages.map((text) => [text]), expected.summary]);
    assert.deepEqual(new Map(shown.links.map((link) => [link.name, link.sha256])), digests(expected.outputs));
}

describe("the page as an app", () => {
    let samples;
    let work;

    before(() => {
        samples = sampleFolder();
        work = mkdtempSync(join(tmpdir(), "twinframe-app-"));
    });
    after(() => {
        rmSync(samples, { recursive: true, force: true });
        rmSync(work, { recursive: true, force: true });
    });

    test("has a manifest with its name, icons and colours, and a handler for .mpo files", async () => {
        const opened = await openPage();
        try {
            const manifest = await opened.page.evaluate(async () => {
                const url = new URL(document.querySelector("link[rel=manifest]").href);
                const manifest = await (await fetch(url)).json();
                const icons = await Promise.all(manifest.icons.map(async (icon) => (await fetch(new URL(icon.src, url))).status));
                return { ...manifest, iconStatus: icons };
            });
            assert.equal(manifest.name, "Twinframe");
            assert.equal(manifest.display, "standalone");
            assert.match(manifest.theme_color, /^#[0-9a-f]{6}$/);
            assert.match(manifest.background_color, /^#[0-9a-f]{6}$/);
            assert.deepEqual(manifest.iconStatus, manifest.icons.map(() => 200));
            assert.ok(manifest.icons.some((icon) => icon.sizes === "any" || Number(icon.sizes.split("x")[0]) >= 192));
            const [handler] = manifest.file_handlers;
            assert.equal(handler.action, "./");
            assert.ok(Object.values(handler.accept).every((extensions) => extensions.includes(".mpo")));
            // Chromium reads it as an installable app's, with no error, and sends files opened
            // later to the window that is open.
            const session = await opened.page.createCDPSession();
            const { errors, manifest: parsed } = await session.send("Page.getAppManifest");
            assert.deepEqual(errors, []);
            assert.equal(parsed.launchHandler.clientMode, "kFocusExisting");
            // A 512 px icon, and a maskable one whose drawing lies within the circle of 40 % of
            // its width that every shape the system may cut keeps (outside it: the background).
            const drawn = await opened.page.evaluate(async (icons) => {
                const found = {};
                for (const icon of icons.filter((icon) => icon.type === "image/png")) {
                    const bitmap = await createImageBitmap(await (await fetch(icon.src)).blob());
                    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
                    const context = canvas.getContext("2d");
                    context.drawImage(bitmap, 0, 0);
                    const { data, width } = context.getImageData(0, 0, bitmap.width, bitmap.height);
                    const pixel = (x, y) => [...data.subarray(4 * (y * width + x), 4 * (y * width + x) + 4)].join(",");
                    const outside = new Set();
                    for (let y = 0; y < width; ++y)
                        for (let x = 0; x < width; ++x)
                            if (Math.hypot(x + 0.5 - width / 2, y + 0.5 - width / 2) > 0.4 * width) outside.add(pixel(x, y));
                    found[`${icon.purpose} ${icon.sizes}`] = { width: bitmap.width, height: bitmap.height, outside: [...outside] };
                }
                return found;
            }, manifest.icons);
            assert.deepEqual([drawn["any 512x512"].width, drawn["any 512x512"].height], [512, 512]);
            const maskable = drawn["maskable 512x512"];
            assert.deepEqual([maskable.width, maskable.height], [512, 512]);
            assert.equal(maskable.outside.length, 1, `one colour outside the safe circle, not ${maskable.outside.slice(0, 5)}`);
            assert.match(maskable.outside[0], /,255$/, "to every edge, opaque");
        } finally {
            await opened.close();
        }
    });

    test("lists the files the system opens it with", async () => {
        // Chromium hands an installed app's files to the consumer the page gives its launch
        // queue; headless, the queue is stood in for, with handles of the same shape.
        const opened = await openPage({
            beforeLoad: (page) => page.evaluateOnNewDocument(() => {
                Object.defineProperty(window, "launchQueue", {
                    value: { setConsumer: (consumer) => { window.launchConsumer = consumer; } },
                });
            }),
        });
        try {
            const { page } = opened;
            const folder = join(samples, "mixed");
            const files = ["DSCF0001.MPO", "burst.mpo", "x.mpo"].map((name) => ({ name, base64: readFileSync(join(folder, name)).toString("base64") }));
            await page.evaluate((files) => window.launchConsumer({
                files: files.map(({ name, base64 }) => ({
                    kind: "file",
                    name,
                    getFile: async () => new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name),
                })),
            }), files);
            await page.waitForFunction(() => document.querySelectorAll("#fileList [role=option]").length === 3);
            // A file opened during a batch, under the name of one being split, waits for its end:
            // the batch's images are still cut from the file it was given.
            const other = { name: "DSCF0001.MPO", base64: readFileSync(join(folder, "DSCF0002.MPO")).toString("base64") };
            await page.evaluate((other) => {
                document.getElementById("go").addEventListener("click", () => window.launchConsumer({
                    files: [{ kind: "file", name: other.name, getFile: async () => new File([Uint8Array.from(atob(other.base64), (c) => c.charCodeAt(0))], other.name) }],
                }), { once: true });
            }, other);
            const shown = await pressGo(page);
            assert.deepEqual(new Map(shown.links.map((link) => [link.name, link.sha256])),
                digests(cliSplit(folder, ["burst.mpo", "DSCF0001.MPO", "x.mpo"]).outputs));
            // Listed after the batch, in place of the file of the same name (its size as the
            // worker finds it).
            await page.waitForFunction(() => document.querySelector('#fileList [data-name="DSCF0001.MPO"] .size').textContent === "1.2 MB");
            // The open window is focused for files opened later (its manifest's launch handler):
            // they join its list. A launch with no files (the app opened again) changes nothing.
            const more = { name: "single.mpo", base64: readFileSync(join(folder, "single.mpo")).toString("base64") };
            await page.evaluate((more) => {
                window.launchConsumer({ files: [] });
                window.launchConsumer({
                    files: [{ kind: "file", name: more.name, getFile: async () => new File([Uint8Array.from(atob(more.base64), (c) => c.charCodeAt(0))], more.name) }],
                });
            }, more);
            await page.waitForFunction(() => document.querySelectorAll("#fileList [role=option]").length === 4);
            assert.deepEqual(await page.$$eval("#fileList [role=option]", (rows) => rows.map((row) => row.dataset.name)),
                ["burst.mpo", "DSCF0001.MPO", "single.mpo", "x.mpo"]);
        } finally {
            await opened.close();
        }
    });

    test("after one visit, opens and splits with no server at all", async () => {
        const opened = await openPage();
        try {
            const { page, server } = opened;
            await waitForServiceWorker(page);
            server.closeAllConnections();
            await new Promise((done) => server.close(done));
            await page.reload();
            await page.waitForFunction(() => !document.getElementById("go").disabled);
            await splitsLikeCli(page, join(samples, "mixed"));
        } finally {
            await opened.close();
        }
    });

    test("is kept by its service worker with no file sent twice, and its text compressed", async () => {
        const answers = []; // [path, status, coding], in order
        const opened = await openPage({
            beforeLoad: (page, server) => server.on("request", (request, response) => response.on("finish", () =>
                answers.push([new URL(request.url, "http://host").pathname, response.statusCode, response.getHeader("Content-Encoding") ?? null]))),
        });
        try {
            await waitForServiceWorker(opened.page);
            // The page's load and the install may overlap; either way each file is sent once.
            const sent = (path) => answers.filter(([p, status]) => p === path && status === 200);
            assert.deepEqual(answers.filter(([path]) => sent(path).length > 1), [], "no file is sent twice");
            const askedAgain = new Set(answers.filter(([path, status]) => status === 304 && sent(path).length === 1).map(([path]) => path));
            for (const path of ["/", "/app.js", "/worker.js", "/twinframe-core.js", "/twinframe-core.wasm"])
                assert.ok(askedAgain.has(path), `${path} is asked again by the install, and answered 304`);
            for (const path of ["/app.js", "/twinframe-core.wasm"]) assert.match(sent(path)[0][2], /^(br|gzip)$/, path);
        } finally {
            await opened.close();
        }
    });

    test("lets a new version take over once no tab of the old one is open, whole, from a host that lets files be kept", async () => {
        // Static hosts often let browsers keep files for a while (max-age=600 is common): the new
        // version must still be made of its own files only, never of the old ones the browser holds.
        const old = join(work, "old");
        cpSync(site, old, { recursive: true });
        const cacheControl = "max-age=600";
        const opened = await openPage({ folder: old, cacheControl });
        const { page, server, origin } = opened;
        try {
            await waitForServiceWorker(page);
            // The new version: another page text, script and style, so another digest of the page's files.
            const port = server.address().port;
            const newer = join(work, "new");
            cpSync(old, newer, { recursive: true });
            const change = (name, from, to) => {
                const text = readFileSync(join(old, name), "utf8");
                assert.ok(text.includes(from), `${name} has ${from}`);
                writeFileSync(join(newer, name), text.replace(from, to));
            };
            change("index.html", "<title>Twinframe</title>", "<title>Twinframe (new)</title>");
            change("app.js", "// The page:", "// The page (new):");
            change("style.css", ":root", "/* new */ :root");
            const version = /const version = "[0-9a-f]+/.exec(readFileSync(join(old, "sw.js"), "utf8"))[0];
            change("sw.js", version, version + "-new");
            server.closeAllConnections();
            await new Promise((done) => server.close(done));
            const { serve } = await import(join(root, "web/serve.mjs"));
            const newServer = await serve(newer, port, "127.0.0.1", { cacheControl });
            try {
                await page.reload();
                await page.evaluate(async () => {
                    const registration = await navigator.serviceWorker.getRegistration();
                    await registration.update();
                    while (!registration.waiting) await new Promise((r) => setTimeout(r, 50));
                });
                assert.equal(await page.title(), "Twinframe", "an open tab keeps the version it began with");
                const browser = opened.browser;
                await page.close();
                const fresh = await browser.newPage();
                await fresh.goto(origin + "/");
                await fresh.evaluate(async () => {
                    while (!(await caches.keys()).every((name) => name.endsWith("-new"))) await new Promise((r) => setTimeout(r, 50));
                });
                await fresh.reload();
                assert.equal(await fresh.title(), "Twinframe (new)");
                assert.equal((await fresh.evaluate(() => caches.keys())).length, 1);
                // Every file the new version keeps, as the page gets it, is the new version's.
                const kept = JSON.parse(/const files = (\[.*\]);/.exec(readFileSync(join(newer, "sw.js"), "utf8"))[1]);
                const served = await fresh.evaluate((kept) => Promise.all(kept.map(async (name) => {
                    const bytes = await (await fetch(name)).arrayBuffer();
                    const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
                    return [name, [...digest].map((b) => b.toString(16).padStart(2, "0")).join("")];
                })), kept);
                assert.deepEqual(new Map(served), new Map(kept.map((name) => [name, sha256(readFileSync(join(newer, name)))])));
            } finally {
                newServer.closeAllConnections();
                await new Promise((done) => newServer.close(done));
            }
        } finally {
            await opened.close();
        }
    });

    test("in one file, splits exactly when opened from the disk, under a policy that allows no connection", async () => {
        const opened = await openFilePage(join(site, "twinframe.html"));
        try {
            const { page } = opened;
            await page.waitForFunction(() => !document.getElementById("go").disabled, { timeout: 10_000 });
            const folder = join(samples, "mixed");
            await pickFiles(page, names.map((name) => join(folder, name)));
            const shown = await pressGo(page, { withLinks: false });
            const expected = cliSplit(folder, names);
            assert.deepEqual(shown.log, [...expected.messages.map((text) => [text]), expected.summary]);
            const downloaded = await allowDownloads(page, work);
            const saved = new Map();
            for (const name of expected.outputs.keys()) {
                await page.$eval(`a[download="${name}"]`, (link) => link.click());
                saved.set(name, sha256(readFileSync(await downloaded(name))));
            }
            assert.deepEqual(saved, digests(expected.outputs));
            // With no service worker there, and no file to pick, Save all as .zip gathers the
            // archive and then downloads it.
            await page.evaluate(() => {
                delete window.showSaveFilePicker;
                delete Window.prototype.showSaveFilePicker;
                document.getElementById("saveZip").click();
            });
            const archive = await downloaded("twinframe-images.zip");
            assert.match(execFileSync("unzip", ["-t", archive], { encoding: "utf8" }), /No errors detected/);
            assert.deepEqual(execFileSync("unzip", ["-Z1", archive], { encoding: "utf8" }).split("\n").filter(Boolean).sort(),
                [...expected.outputs.keys()].sort());
            const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (meta) => meta.content);
            assert.match(policy, /^default-src 'none';/);
            assert.doesNotMatch(policy, /connect-src|'unsafe-inline'|'unsafe-eval'/);
            assert.deepEqual(await page.evaluate(() => window.policyViolations), []);
            assert.deepEqual(opened.errors, []);
        } finally {
            await opened.close();
        }
    });
});
