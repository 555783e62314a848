// What a first visit to the page costs: serves the built page with web/serve.mjs, opens it in a
// fresh headless chromium, and prints one JSON line: the bytes the server sent (headers included)
// and its answers (200 or 304), for the page alone and with its service worker keeping every
// file; and the page's files as they lie on the disk, and the one-file page, with what they come
// to compressed.
//   node bench/webLoad.mjs [SITE]    (build/web unless given; scripts/web --build makes it)
import { readFileSync, statSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { brotliCompressSync, gzipSync } from "node:zlib";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const puppeteer = createRequire(join(root, "web/package.json"))("puppeteer-core");
const { serve } = await import(join(root, "web/serve.mjs"));
const site = resolve(process.argv[2] ?? join(root, "build/web"));

const tally = (codes) => Object.fromEntries([...new Set(codes)].sort().map((code) => [code, codes.filter((c) => c === code).length]));

// One first visit, in a fresh browser: the bytes every connection carried to it (headers
// included) and the server's answers, until the page can split (and, with its service worker,
// until that keeps every file). Without it, the service worker is never registered.
async function firstVisit(withWorker) {
    const server = await serve(site, 0);
    const sockets = new Set();
    server.on("connection", (socket) => sockets.add(socket));
    const answers = [];
    server.on("request", (request, response) => response.on("finish", () => answers.push(response.statusCode)));
    const browser = await puppeteer.launch({
        executablePath: process.env.TWINFRAME_CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"],
    });
    try {
        const page = await browser.newPage();
        if (!withWorker) {
            await page.evaluateOnNewDocument(() => {
                navigator.serviceWorker.register = () => new Promise(() => {});
            });
        }
        await page.goto(`http://127.0.0.1:${server.address().port}/`, { waitUntil: "networkidle0" });
        await page.waitForFunction(() => !document.getElementById("go").disabled);
        if (withWorker) await page.evaluate(() => navigator.serviceWorker.ready);
        return { bytes: [...sockets].reduce((sum, socket) => sum + socket.bytesWritten, 0), answers: tally(answers) };
    } finally {
        await browser.close();
        server.close();
    }
}

const result = { pageAlone: await firstVisit(false), withServiceWorker: await firstVisit(true) };
result.serviceWorkerCost = result.withServiceWorker.bytes - result.pageAlone.bytes;

const kept = [...JSON.parse(/const files = (\[.*\]);/.exec(readFileSync(join(site, "sw.js"), "utf8"))[1]), "sw.js"];
const sizes = (names) => {
    const bytes = names.map((name) => readFileSync(join(site, name)));
    return {
        bytes: bytes.reduce((sum, b) => sum + b.length, 0),
        gzip: bytes.reduce((sum, b) => sum + gzipSync(b, { level: 9 }).length, 0),
        brotli: bytes.reduce((sum, b) => sum + brotliCompressSync(b).length, 0),
    };
};
result.keptFiles = { count: kept.length, ...sizes(kept) };
result.oneFile = sizes(["twinframe.html"]);
result.oneFile.onDisk = statSync(join(site, "twinframe.html")).size;
console.log(JSON.stringify(result));
