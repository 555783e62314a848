// The page's side of bench/web: splits every .MPO of a folder in the page, in headless chromium,
// and prints one JSON line: the batch's times (GO! to summary, per round), the longest task on
// the page's main thread in each round (from GO!'s click to the summary: a task that long is a
// page that does not answer), and the page's memory.
//   node bench/webBench.mjs FOLDER ROUNDS [CLI]
// With CLI (a twinframe-cli), each round of the page follows one of CLI --quiet on a fresh copy
// of the files with a warm page cache, timed too: the machine's ups and downs touch both alike.
// TWINFRAME_WEB_SITE=FOLDER serves another build of the page, to compare two.
// Memory is the resident set (VmRSS, sampled every 10 ms from /proc) of the page's renderer
// process, which holds its worker too, and of the browser process, which keeps the page's blobs:
// each at its peak during the batches and just before the first one, once the page is loaded and
// the files are listed.
import { execFileSync, spawnSync } from "node:child_process";
import { cpSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const puppeteer = createRequire(join(root, "web/package.json"))("puppeteer-core");
const { serve } = await import(join(root, "web/serve.mjs"));

const [folderArgument, roundsArgument = "3", cli] = process.argv.slice(2);
const folder = resolve(folderArgument);
const rounds = Number(roundsArgument);
const files = readdirSync(folder).filter((name) => /\.mpo$/i.test(name)).sort().map((name) => join(folder, name));

// One split of all the files by twinframe-cli, in seconds, on a copy beside the folder.
function cliRound() {
    const work = mkdtempSync(join(folder, "..", "cli-round-"));
    try {
        const copies = files.map((file) => join(work, file.slice(folder.length + 1)));
        files.forEach((file, i) => cpSync(file, copies[i]));
        execFileSync("sync");
        for (const copy of copies) readFileSync(copy);
        const start = process.hrtime.bigint();
        const run = spawnSync(cli, ["--quiet", ...copies], { stdio: "ignore" });
        const seconds = Number(process.hrtime.bigint() - start) / 1e9;
        // Files it cannot split make it end with status 1; anything else is a failure.
        if (run.status !== 0 && run.status !== 1) throw new Error(`${cli} failed on the copies (status ${run.status}, ${run.signal})`);
        return seconds;
    } finally {
        rmSync(work, { recursive: true, force: true });
    }
}

const rssKiB = (pid) => {
    try {
        return Number(/VmRSS:\s+(\d+) kB/.exec(readFileSync(`/proc/${pid}/status`, "utf8"))[1]);
    } catch {
        return 0; // a spare renderer that Chromium let go
    }
};

const server = await serve(process.env.TWINFRAME_WEB_SITE ?? join(root, "build/web"), 0);
const browser = await puppeteer.launch({
    executablePath: process.env.TWINFRAME_CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-dev-shm-usage", "--no-first-run", "--renderer-process-limit=1"],
});
try {
    const [page] = await browser.pages();
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.waitForFunction(() => !document.getElementById("go").disabled);
    await (await page.$("input[type=file]")).uploadFile(...files);
    await page.waitForFunction((n) => document.querySelector("#fileList li")?.getAttribute("aria-setsize") === String(n), {}, files.length);

    const session = await browser.target().createCDPSession();
    const { processInfo } = await session.send("SystemInfo.getProcessInfo");
    // The page's renderer, which holds its worker too; not the one that draws the browser's
    // own user interface (--top-chrome-webui), which the page does not touch.
    const renderers = processInfo
        .filter((p) => p.type === "renderer")
        .map((p) => p.id)
        .filter((pid) => !readFileSync(`/proc/${pid}/cmdline`, "utf8").includes("--top-chrome-webui"));
    const browserPid = browser.process().pid;
    const rendererRss = () => renderers.reduce((sum, pid) => sum + rssKiB(pid), 0);
    const before = { renderer: rendererRss(), browser: rssKiB(browserPid) };
    const peak = { ...before };
    const sampler = setInterval(() => {
        peak.renderer = Math.max(peak.renderer, rendererRss());
        peak.browser = Math.max(peak.browser, rssKiB(browserPid));
    }, 10);

    // Every long task of the page's main thread (over 50 ms), as the browser reports them.
    await page.evaluate(() => {
        window.longTasks = [];
        new PerformanceObserver((list) => window.longTasks.push(...list.getEntries().map((entry) => entry.duration)))
            .observe({ type: "longtask" });
    });
    const times = [];
    const cliTimes = [];
    const longestTasks = [];
    let summary = "";
    for (let round = 0; round < rounds; ++round) {
        if (cli) cliTimes.push(cliRound());
        const result = await page.evaluate(async () => {
            const done = Promise.race([
                new Promise((resolve) => document.addEventListener("twinframe-batch-done", resolve, { once: true })),
                new Promise((resolve) => setTimeout(resolve, 120_000)),
            ]);
            window.longTasks.length = 0;
            // GO! is clicked in a task of its own, so that its handler's time counts as the page's.
            const start = performance.now();
            setTimeout(() => document.getElementById("go").click());
            await done;
            const seconds = (performance.now() - start) / 1000;
            // The tasks of the batch's end are reported once they are over.
            await new Promise((resolve) => setTimeout(resolve, 200));
            return {
                longest: Math.max(0, ...window.longTasks),
                seconds,
                summary: document.querySelector("#log .summary")?.innerText ?? "stuck at " + document.querySelector("[role=status]").textContent,
                images: document.querySelector("#outputs li")?.getAttribute("aria-setsize") ??
                    document.getElementById("outputs").getAttribute("aria-rowcount") ?? "0",
            };
        });
        times.push(result.seconds);
        longestTasks.push(result.longest);
        summary = `${result.summary.replace("\n", ", ")}; ${result.images} images listed`;
    }
    clearInterval(sampler);
    console.log(JSON.stringify({ times, cliTimes, longestTasks, summary, before, peak, renderers: renderers.length }));
} finally {
    await browser.close();
    server.close();
}
