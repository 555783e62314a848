// The page in headless chromium: files picked and dropped, GO!, and what it shows and offers
// compared with what twinframe-cli does with the same files.
import assert from "node:assert/strict";
import { cpSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { after, before, describe, test } from "node:test";

import { allowDownloads, cliSplit, linksShown, openPage, pickFiles, pressGo, privateFileBytes, sampleFolder, saveIntoPrivateFolder, sha256, zipNames } from "./support.mjs";
const idleText = "twinframe.example.org";

const digests = (outputs) => new Map([...outputs].map(([name, bytes]) => [name, sha256(bytes)]));
const linkDigests = (links) => new Map(links.map((link) => [link.name, link.sha256]));
const listedNames = (page) =>
    page.$$eval("#fileList [role=option]", (items) => items.map((item) => item.dataset.name));
const setSelected = (page, names, selected) =>
    page.evaluate((names, selected) => {
        for (const item of document.querySelectorAll("#fileList [role=option]")) {
            if (names.includes(item.dataset.name) && (item.getAttribute("aria-selected") === "true") !== selected)
                item.click();
        }
    }, names, selected);

// The page's batch must say and give exactly what twinframe-cli says and writes. Status texts
// that come faster than the page shows them are merged: those shown are twinframe-cli's, in its
// order, and the last one always shows before the idle text.
function assertSameAsCli(shown, expected) {
    assert.equal(shown.status, idleText, "the idle text is back after the batch");
    assert.equal(shown.statuses.at(-1), idleText);
    const seen = shown.statuses.slice(0, -1);
    let next = 0;
    for (const text of seen) {
        next = expected.statuses.indexOf(text, next) + 1;
        assert.ok(next > 0, `"${text}" shown out of order or never said: ${seen.join(" | ")}`);
    }
    assert.equal(seen.at(-1), expected.statuses.at(-1));
    assert.deepEqual(shown.log, [...expected.messages.map((text) => [text]), expected.summary]);
    assert.deepEqual(linkDigests(shown.links), digests(expected.outputs));
}

describe("the page", () => {
    let browser;
    let samples;

    before(async () => {
        samples = sampleFolder();
        browser = await openPage();
    });
    after(async () => {
        await browser?.close();
        rmSync(samples, { recursive: true, force: true });
    });

    test("offers its controls by role and name, with the idle text", async () => {
        const { page } = browser;
        const input = await page.$("input[type=file]");
        assert.equal(await input.evaluate((e) => e.multiple), true);
        assert.match(await input.evaluate((e) => e.accept), /\.mpo/i);
        assert.ok(await page.$('aria/Multi-file speed hack[role="checkbox"]'));
        assert.ok(await page.$('aria/GO![role="button"]'));
        assert.equal(await page.$('aria/Stop[role="button"]'), null, "Stop is there only during a batch");
        assert.equal(await page.$eval("[role=status]", (e) => e.textContent), idleText);
        assert.equal(await page.$eval("[role=log]", (e) => e.children.length), 0);
        assert.equal(await page.$eval("link[rel=icon]", (e) => e.getAttribute("href")), "twinframe.svg");
    });

    test("splits picked files in name order, as twinframe-cli does, byte for byte", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        await pickFiles(page, readdirSync(folder).map((name) => join(folder, name)));
        const names = await listedNames(page);
        assert.deepEqual(names, ["burst.mpo", "DSCF0001.MPO", "DSCF0002.MPO", "not-an-mpo.mpo",
            "single.mpo", "tiny.mpo", "x-1.mpo", "x.mpo"]);
        assert.ok(await page.$$eval("#fileList [role=option]", (rows) => rows.every((row) => row.getAttribute("aria-selected") === "true")),
            "every listed file starts selected");

        const shown = await pressGo(page);
        assertSameAsCli(shown, cliSplit(folder, names));
        // The messages name the bad files and the kept no-overwrite rule, in the core's words.
        assert.deepEqual(shown.log.slice(0, 3).map(([text]) => text), [
            "not-an-mpo.mpo is not a valid MPO file",
            "tiny.mpo too small to be a valid file",
            "x.mpo not split: x-1.jpg was already written in this batch from x-1.mpo",
        ]);
        assert.deepEqual(shown.log.at(-1), ["Files processed: 8", "Total images: 9"]);
    });

    test("leaves unselected files out, and says when none is selected", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        await setSelected(page, ["burst.mpo", "not-an-mpo.mpo", "x.mpo"], false);
        const shown = await pressGo(page);
        assertSameAsCli(shown, cliSplit(folder, ["DSCF0001.MPO", "DSCF0002.MPO", "single.mpo", "tiny.mpo", "x-1.mpo"]));

        await setSelected(page, await listedNames(page), false);
        const none = await pressGo(page);
        assert.deepEqual(none.log, [["No files selected"]]);
        assert.deepEqual(none.links, []);
        assert.equal(none.status, idleText);
    });

    test("asks the speed hack before each file, with the core's rule", async () => {
        const { page } = browser;
        const folder = join(samples, "speed");
        const names = ["a-large.mpo", "b-small.mpo", "c-pair.mpo"];
        await pickFiles(page, names.map((name) => join(folder, name)));
        const box = await page.$('aria/Multi-file speed hack[role="checkbox"]');
        await box.click();
        const fast = await pressGo(page);
        const cliFast = cliSplit(folder, names, { speedHack: true });
        assert.deepEqual(cliFast.messages, ["b-small.mpo too small to be a valid file"]);
        assertSameAsCli(fast, cliFast);

        await box.click();
        assertSameAsCli(await pressGo(page), cliSplit(folder, names));
    });

    test("stops between two files when asked, with the core's summary", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        const names = ["burst.mpo", "DSCF0001.MPO", "DSCF0002.MPO", "not-an-mpo.mpo", "single.mpo", "tiny.mpo", "x-1.mpo", "x.mpo"];
        await pickFiles(page, names.map((name) => join(folder, name)));
        // Stop goes to the worker right behind the batch, so the batch stops after a file or two.
        await page.evaluate(() => document.getElementById("go").addEventListener("click",
            () => document.getElementById("stop").click(), { once: true }));
        const shown = await pressGo(page);
        const summary = shown.log.at(-1);
        const done = Number(/^Stopped after file (\d+) of 8$/.exec(summary[2])?.[1]);
        assert.ok(done >= 1 && done < names.length, summary.join(" / "));
        const expected = cliSplit(folder, names.slice(0, done));
        assert.deepEqual(summary.slice(0, 2), expected.summary);
        assert.deepEqual(shown.log.slice(0, -1), expected.messages.map((text) => [text]));
        assert.deepEqual(linkDigests(shown.links), digests(expected.outputs));
    });

    test("names a file that went or changed on disk since it was picked, and goes on", async () => {
        const { page } = browser;
        const folder = join(samples, "gone");
        cpSync(join(samples, "mixed"), folder, { recursive: true });
        await pickFiles(page, ["DSCF0001.MPO", "burst.mpo", "single.mpo"].map((name) => join(folder, name)));
        rmSync(join(folder, "burst.mpo"));
        writeFileSync(join(folder, "single.mpo"), "not what was picked");
        const shown = await pressGo(page);
        assert.deepEqual(shown.log, [
            ["Cannot read burst.mpo: I/O error"],
            ["Cannot read single.mpo: I/O error"],
            ["Files processed: 3", "Total images: 2"],
        ]);
        assert.deepEqual(shown.links.map((link) => link.name), ["DSCF0001-L.jpg", "DSCF0001-R.jpg"]);
    });

    test("takes dropped files, and takes names that differ only in case as one name, in links, zip and folder", async () => {
        const { page } = browser;
        await page.evaluate(() => document.getElementById("clearList").click());
        const folder = join(samples, "case");
        const dropped = readdirSync(folder).map((name) => ({ name, base64: readFileSync(join(folder, name)).toString("base64") }));
        await page.evaluate((dropped) => {
            const transfer = new DataTransfer();
            for (const { name, base64 } of dropped)
                transfer.items.add(new File([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))], name));
            document.getElementById("dropZone").dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true }));
        }, dropped);
        await page.waitForFunction(() => document.querySelectorAll("#fileList li").length === 2);
        assert.deepEqual(await listedNames(page), ["Pair.mpo", "pair.MPO"]);

        const shown = await pressGo(page);
        // On a disk that ignores case pair-L.jpg would replace Pair-L.jpg, so the page refuses it.
        assert.deepEqual(shown.log, [
            ["pair.MPO not split: pair-L.jpg was already written in this batch from Pair.mpo"],
            ["Files processed: 2", "Total images: 2"],
        ]);
        const pair = cliSplit(folder, ["Pair.mpo"]);
        assert.deepEqual(linkDigests(shown.links), digests(pair.outputs));

        // The same two images, and no more, go into a .zip and into a folder.
        const saved = await page.evaluate(async () => {
            const root = await navigator.storage.getDirectory();
            const into = await root.getDirectoryHandle("case", { create: true });
            window.showDirectoryPicker = async () => into;
            window.showSaveFilePicker = async () => root.getFileHandle("case.zip", { create: true });
            for (const id of ["saveFolder", "saveZip"]) {
                const done = new Promise((resolve) => document.addEventListener("twinframe-save-done", resolve, { once: true }));
                document.getElementById(id).click();
                await done;
            }
            const names = [];
            for await (const name of into.keys()) names.push(name);
            await root.removeEntry("case", { recursive: true });
            return names.sort();
        });
        assert.deepEqual(saved, [...pair.outputs.keys()].sort());
        const zip = await privateFileBytes(page, "case.zip");
        await page.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry("case.zip"));
        assert.deepEqual(zipNames(zip).sort(), [...pair.outputs.keys()].sort());
    });

    // Scrolls a list's view from top to bottom: each item's name by its place (with the list's
    // length its rows give), the most rows held at once, and how far the last row ends from the
    // view's end.
    const scrollThrough = (page, view) =>
        page.evaluate(async (viewId) => {
            const view = document.getElementById(viewId);
            const list = view.firstElementChild;
            const rows = new Map();
            let most = 0;
            for (let top = 0; top < 1e6; top += view.clientHeight) {
                view.scrollTop = top;
                await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
                most = Math.max(most, list.children.length);
                for (const row of list.children) {
                    const place = row.getAttribute("aria-posinset") ?? row.getAttribute("aria-rowindex");
                    const length = row.getAttribute("aria-setsize") ?? list.getAttribute("aria-rowcount");
                    const name = row.dataset.name ?? row.querySelector("a[download]").download;
                    rows.set(Number(place), [length, name]);
                }
                if (view.scrollTop + view.clientHeight >= view.scrollHeight) break;
            }
            const last = list.lastElementChild.getBoundingClientRect().bottom - view.getBoundingClientRect().bottom;
            return { names: [...rows].sort(([a], [b]) => a - b), most, last };
        }, view);

    function assertWholeList(seen, names) {
        assert.ok(seen.most < names.length, `${seen.most} rows held for ${names.length} items`);
        assert.deepEqual(seen.names.map(([place]) => place), names.map((name, i) => i + 1));
        assert.ok(seen.names.every(([, [length]]) => length === String(names.length)));
        assert.deepEqual(seen.names.map(([, [, name]]) => name), names);
        assert.ok(Math.abs(seen.last) < 2, `the last row ends ${seen.last} px from the view's end`);
    }

    test("lists and splits a large batch with rows only for what is in view and around it", async () => {
        const { page } = browser;
        const folder = join(samples, "many");
        const names = readdirSync(folder).sort();
        await pickFiles(page, names.map((name) => join(folder, name)));
        assertWholeList(await scrollThrough(page, "fileListView"), names);
        // The last file, reached at the bottom of the list, is left out.
        await page.$eval("#fileList [role=option]:last-child", (row) => row.click());
        await pressGo(page);
        const expected = cliSplit(folder, names.slice(0, -1));
        const written = [...expected.outputs.keys()]; // by name: the order written here
        assertWholeList(await scrollThrough(page, "outputsView"), written);
        const links = linkDigests(await linksShown(page));
        assert.equal(links.get(written.at(-1)), sha256(expected.outputs.get(written.at(-1))));
    });

    test("saves all into the folder the user picks, replacing files of the same name", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        const names = ["DSCF0001.MPO", "burst.mpo"];
        await pickFiles(page, names.map((name) => join(folder, name)));
        await pressGo(page);
        const { files: saved } = await saveIntoPrivateFolder(page,
            { name: "DSCF0001-L.jpg", text: "from an earlier run, longer than nothing" });
        assert.deepEqual(new Map(Object.entries(saved)), digests(cliSplit(folder, names).outputs));
    });

    test("a clicked link downloads its image under the name the desktop gives it", async () => {
        const { page } = browser;
        const folder = join(samples, "mixed");
        await pickFiles(page, [join(folder, "DSCF0001.MPO")]);
        const downloaded = await allowDownloads(page);
        await page.click("#go");
        await (await page.waitForSelector('a[download="DSCF0001-R.jpg"]')).click();
        const expected = cliSplit(folder, ["DSCF0001.MPO"]).outputs.get("DSCF0001-R.jpg");
        const path = await downloaded("DSCF0001-R.jpg");
        assert.equal(sha256(readFileSync(path)), sha256(expected));
        rmSync(dirname(path), { recursive: true, force: true });
    });

    test("asks nothing of any host but its own, and shows no script error", () => {
        const own = browser.origin + "/";
        const elsewhere = browser.requests.filter((url) => !url.startsWith(own) && !url.startsWith("blob:" + browser.origin));
        assert.deepEqual(elsewhere, []);
        // The worker's own requests are among those seen, so none of its could pass unseen.
        assert.ok(browser.requests.includes(own + "twinframe-core.wasm"));
        assert.deepEqual(browser.errors, []);
    });

    test("works under its security policy, which it never breaches", async () => {
        const { page } = browser;
        const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (meta) => meta.content);
        assert.match(policy, /default-src 'none'/);
        assert.match(policy, /connect-src 'self' blob:(;|$)/);
        assert.deepEqual(await page.evaluate(() => window.policyViolations), []);
    });
});
