// Runs the splitting core off the page's thread, so the page stays responsive during a batch.
// The page's File objects are mounted read-only (WORKERFS): the core reads only the blocks its
// scan needs, in place. Nothing is written: each output comes back as a byte range, and the page
// cuts it from the original File.
"use strict";

importScripts("twinframe-core.js");

const folder = "/batch";
let answerSpeedHack = null;

const corePromise = createTwinframeCore({
    onStatus: (text) => postMessage({ type: "status", text }),
    onMessage: (text) => postMessage({ type: "message", text }),
    onOutput: (input, name, first, last) => postMessage({ type: "output", input, name, first, last }),
    onDone: (selectedCount, totalImages, summary) =>
        postMessage({ type: "done", selectedCount, totalImages, summary }),
    // Asked before each file: the page answers with the check box as it is at that moment.
    askSpeedHack: () =>
        new Promise((resolve) => {
            answerSpeedHack = resolve;
            postMessage({ type: "askSpeedHack" });
        }),
});

async function runBatch(files, entries) {
    const core = await corePromise;
    const FS = core.FS;
    FS.mkdir(folder);
    FS.mount(FS.filesystems.WORKERFS, { files }, folder);
    try {
        core.ccall("clearFileList", null, [], []);
        for (const entry of entries)
            core.ccall("addFileEntry", null, ["string", "number"], [entry.name, entry.selected ? 1 : 0]);
        await core.ccall("runPageBatch", null, ["string"], [folder], { async: true });
    } finally {
        FS.unmount(folder);
        FS.rmdir(folder);
    }
}

onmessage = (event) => {
    const request = event.data;
    if (request.type === "speedHack" && answerSpeedHack) {
        const answer = answerSpeedHack;
        answerSpeedHack = null;
        answer(request.value);
    } else if (request.type === "run") {
        runBatch(request.files, request.entries).catch((error) =>
            postMessage({ type: "failed", text: String(error && error.message ? error.message : error) }));
    }
};

corePromise.then(() => postMessage({ type: "ready" }));
