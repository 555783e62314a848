// Runs the splitting core off the page's thread, so the page stays responsive during a batch.
// The page's File objects are mounted read-only (WORKERFS): the core reads only the blocks its
// scan needs, in place. Nothing is written: each output comes back as a byte range, and the page
// cuts it from the original File. Each read is a round trip to the browser process; reading
// ahead (the next files' first blocks while the core works) and reading in larger windows were
// measured and gained nothing, as the browser's side of the reads is what takes the time.
"use strict";

importScripts("twinframe-core.js");

const folder = "/batch";
// The state of the page's check box: the page sends it with each batch and whenever it changes.
let speedHack = false;
let stop = false; // the page's Stop was pressed during this batch

// Lets messages that arrived meanwhile (a change of the check box) be handled. A message
// channel, because timers are throttled when nested.
const tick = new MessageChannel();
const yieldToMessages = () =>
    new Promise((resolve) => {
        tick.port1.onmessage = resolve;
        tick.port2.postMessage(null);
    });

const corePromise = createTwinframeCore({
    onStatus: (text) => postMessage({ type: "status", text }),
    onMessage: (text) => postMessage({ type: "message", text }),
    onOutput: (input, name, first, last) => postMessage({ type: "output", input, name, first, last }),
    onDone: (selectedCount, totalImages, summary) =>
        postMessage({ type: "done", selectedCount, totalImages, summary }),
    stopRequested: () => stop,
    // Asked before each file: the check box as the page last told it.
    askSpeedHack: async () => {
        await yieldToMessages();
        return speedHack;
    },
});

async function runBatch(files, entries) {
    const core = await corePromise;
    const FS = core.FS;
    core.readFilesAsynchronously();
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
    if (request.type === "speedHack") {
        speedHack = request.value;
    } else if (request.type === "stop") {
        stop = true;
    } else if (request.type === "run") {
        speedHack = request.speedHack;
        stop = false;
        runBatch(request.files, request.entries).catch((error) =>
            postMessage({ type: "failed", text: String(error && error.message ? error.message : error) }));
    }
};

corePromise.then(() => postMessage({ type: "ready" }));
