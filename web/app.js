// The page: the file list, the batch controls and the outputs. The batch itself runs in
// worker.js; this side only shows what the core reports and cuts each output from its File.
import { fillName, messageLog, sizeText, windowedList } from "./lists.js";
import { saveToFolder, saveAsZip, canPickSaveFile } from "./saving.js";
import { openViewer } from "./viewer.js";
import { isPicture, joinedBlob } from "./join.js";

const idleText = "twinframe.example.org";

const $ = (id) => document.getElementById(id);
const picker = $("picker");
const fileList = $("fileList");
const listHint = $("listHint");
const listKeys = $("listKeys");
const clearList = $("clearList");
const speedHack = $("speedHack");
const go = $("go");
const stop = $("stop");
const status = $("status");
const log = $("log");
const progressRow = $("progressRow");
const progress = $("progress");
const progressText = $("progressText");
const outputsGrid = $("outputs");
const saveFolder = $("saveFolder");
const saveZip = $("saveZip");
const saveNote = $("saveNote");
const joinPicker = $("joinPicker");
const joinedList = $("joined");

// name -> { file, selected }. Like a folder, the list holds one file of each name: a file
// added under a name already listed takes that entry's place.
const listed = new Map();
let outputs = []; // { name, file, first, last, url, pair } of the last batch, in the order written
let busy = false;
let workerReady = false;

const isMpo = (name) => name.toLowerCase().endsWith(".mpo") && !name.startsWith(".");

// Names in the order the window lists a folder: letter case ignored, ties in code order.
function byName(a, b) {
    const x = a.toLowerCase();
    const y = b.toLowerCase();
    if (x !== y) return x < y ? -1 : 1;
    return a < b ? -1 : a > b ? 1 : 0;
}

// The batch's messages, and the join's, each in a log of its own beside what they are about.
const messages = messageLog(log, { fileName: "twinframe-messages.txt" });
const joinMessages = messageLog($("joinLog"), { fileName: "twinframe-join-messages.txt" });
let running = messages; // the log of the batch or join under way, or last run

function addLogEntry(lines, className) {
    running.add(lines, className);
}

// The list of files: one Tab stop (a listbox); the arrow keys move in it, Space ticks or
// unticks, Enter starts the batch.
let shownNames = []; // the listed names, in the list's order: the batch's order too

const fileRows = windowedList($("fileListView"), fileList, {
    idPrefix: "file-",
    makeRow(index) {
        const name = shownNames[index];
        const entry = listed.get(name);
        const box = document.createElement("span");
        box.className = "tick";
        box.setAttribute("aria-hidden", "true");
        const nameText = fillName(document.createElement("span"), name, [shownNames[index - 1], shownNames[index + 1]]);
        nameText.title = name;
        const size = document.createElement("span");
        size.className = "size";
        size.textContent = fileSizes.has(entry.file) ? sizeText(fileSizes.get(entry.file)) : "";
        const row = document.createElement("li");
        row.setAttribute("role", "option");
        row.setAttribute("aria-selected", String(entry.selected));
        row.dataset.name = name;
        if (busy) row.setAttribute("aria-disabled", "true");
        row.append(box, nameText, size);
        return row;
    },
});

function toggleFile(index) {
    if (busy || index < 0) return;
    const entry = listed.get(shownNames[index]);
    entry.selected = !entry.selected;
    fileRows.rowOf(index)?.setAttribute("aria-selected", String(entry.selected));
}

fileList.addEventListener("click", (event) => {
    const row = event.target.closest("[role=option]");
    if (!row) return;
    const index = Number(row.getAttribute("aria-posinset")) - 1;
    fileRows.setActive(index);
    toggleFile(index);
});

fileList.addEventListener("keydown", (event) => {
    if (fileRows.moveByKey(event)) return;
    if (event.key === " ") {
        event.preventDefault();
        toggleFile(fileRows.active());
    } else if (event.key === "Enter") {
        event.preventDefault();
        go.click();
    } else if ((event.key === "a" || event.key === "A") && (event.ctrlKey || event.metaKey)) {
        event.preventDefault();
        if (busy) return;
        const all = [...listed.values()].some((entry) => !entry.selected);
        for (const entry of listed.values()) entry.selected = all;
        fileRows.update(shownNames.length, true);
    }
});

function renderList() {
    shownNames = [...listed.keys()].sort(byName);
    fileRows.update(shownNames.length, true);
    listHint.hidden = listed.size > 0;
    listKeys.hidden = listed.size === 0;
    clearList.hidden = listed.size === 0;
    lockControls();
}

// What can be changed while a batch runs: nothing in the list. The rows are marked as they are
// made; those in view now are marked here.
function lockControls() {
    for (const row of fileList.children) {
        if (busy) row.setAttribute("aria-disabled", "true");
        else row.removeAttribute("aria-disabled");
    }
    fileList.classList.toggle("locked", busy);
    clearList.disabled = busy;
    go.disabled = busy || !workerReady;
}

// Files that are not listed are named in one message, with the reason, as the window does for
// the files it is given.
function addFiles(files) {
    const leftOut = [];
    for (const file of files) {
        if (isMpo(file.name)) listed.set(file.name, { file, selected: true });
        else leftOut.push(file.name);
    }
    renderList();
    askSizes([...listed.values()].map((entry) => entry.file).filter((file) => !fileSizes.has(file)));
    if (leftOut.length > 0) messages.add(["Not listed, not an .mpo file:", ...leftOut.sort(byName)]);
}

clearList.addEventListener("click", () => {
    listed.clear();
    renderList();
    picker.focus();
});

picker.addEventListener("change", () => {
    addFiles(picker.files);
    picker.value = "";
});

// Dropped folders are walked for their .mpo files, or their pictures when dropped on the join
// (other files in them are not named: a camera's folder holds many); dropped files are taken or
// named as they are.
async function filesOfEntry(entry, dropped, wanted = isMpo) {
    if (entry.isFile) {
        if (!dropped && !wanted(entry.name)) return [];
        return [await new Promise((resolve, reject) => entry.file(resolve, reject))];
    }
    if (!entry.isDirectory) return [];
    const reader = entry.createReader();
    const found = [];
    for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) return found;
        for (const child of batch) found.push(...(await filesOfEntry(child, false, wanted)));
    }
}

document.addEventListener("dragover", (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = busy ? "none" : "copy";
    document.body.classList.add("dragging");
});
document.addEventListener("dragleave", (event) => {
    if (!event.relatedTarget) document.body.classList.remove("dragging");
});
document.addEventListener("drop", async (event) => {
    event.preventDefault();
    document.body.classList.remove("dragging");
    if (busy) return;
    // Pictures dropped on the join's card are joined; anything else dropped goes to the list.
    const toJoin = event.target.closest?.("#join") != null;
    const entries = [...event.dataTransfer.items]
        .map((item) => (item.webkitGetAsEntry ? item.webkitGetAsEntry() : null));
    let files = event.dataTransfer.files;
    if (entries.length > 0 && entries.every((entry) => entry)) {
        files = [];
        for (const entry of entries) files.push(...(await filesOfEntry(entry, true, toJoin ? isPicture : isMpo)));
    }
    if (toJoin) joinPictures(files);
    else addFiles(files);
});

// Installed, the page is offered for .mpo files by the system: the files it is opened with are
// listed as if picked.
// Files opened during a batch wait for its end, as the list is locked until then.
let launchedDuringBatch = [];
if ("launchQueue" in window) {
    window.launchQueue.setConsumer(async (launch) => {
        if (!launch.files || launch.files.length === 0) return;
        const files = await Promise.all(launch.files.map((handle) => handle.getFile()));
        if (busy) launchedDuringBatch.push(...files);
        else addFiles(files);
    });
}

// The batch.
const worker = new Worker(window.twinframeWorkerUrl ?? "worker.js");
let batchFiles = []; // the selected files of the running batch, in order
let batchBytes = []; // the bytes of batchFiles' first n files, for each n, once the worker told

// A file's size is the browser's to find (for a file on the disk, a call to the browser's
// process, which waits for it): the worker asks for them, so that a list of thousands of files
// never holds the page up. Until a file's size is known its row shows none.
const fileSizes = new WeakMap(); // File -> size in bytes
const sizeRequests = new Map(); // number of a request to the worker -> the files it asked about
let sizeRequestCount = 0;

function askSizes(files) {
    if (files.length === 0) return;
    sizeRequests.set(++sizeRequestCount, files);
    worker.postMessage({ type: "sizes", request: sizeRequestCount, files });
}

function sizesKnown(request, sizes) {
    const files = sizeRequests.get(request);
    sizeRequests.delete(request);
    files.forEach((file, i) => fileSizes.set(file, sizes[i]));
    fileRows.update(shownNames.length, true);
}
let batchInputs = new Map(); // name -> File, as the running batch was given them

function setBusy(value) {
    busy = value;
    // The pickers take nothing during a batch, and look it, as the window locks its lists.
    picker.disabled = joinPicker.disabled = value;
    $("pickLabel").classList.toggle("disabled", value);
    $("joinPickLabel").classList.toggle("disabled", value);
    saveFolder.disabled = saveZip.disabled = value || outputs.length === 0;
    stop.hidden = !value;
    stop.disabled = false;
    if (!value) progressRow.hidden = true;
    document.body.setAttribute("aria-busy", String(value));
    lockControls();
}

// Files done of N, and their bytes: a file is done when the core asks about the next one. The
// bar shows once the worker has told the files' sizes, as the batch starts.
function showProgress(done) {
    if (batchBytes.length === 0) return;
    const bytes = batchBytes[Math.min(done, batchBytes.length - 1)];
    const all = batchBytes.at(-1);
    progress.max = Math.max(1, all);
    progress.value = bytes;
    progressText.textContent = `${done} of ${batchFiles.length} files, ${sizeText(bytes)} of ${sizeText(all)}`;
    progressRow.hidden = false;
}

function clearOutputs() {
    for (const output of outputs) if (output.url) URL.revokeObjectURL(output.url);
    outputs = [];
    awaitingNext.clear();
    outputRows.update(0, true);
    saveNote.textContent = "";
}

// An output's bytes: a view of the original file, nothing copied until the browser saves them.
const blobOf = (output) => output.file.slice(output.first, output.last + 1, "image/jpeg");

// A link gets its object URL when it is first reached (pointed at, focused, touched, opened),
// not when the batch makes it: making hundreds of them during a batch cost the browser about
// as much as the batch's own reads of the files.
function linkUp(link) {
    const output = outputs[Number(link.dataset.output)];
    if (!output || output.url) return;
    output.url = URL.createObjectURL(blobOf(output));
    link.href = output.url;
}
for (const type of ["pointerover", "focusin", "contextmenu", "click", "auxclick", "dragstart"]) {
    outputsGrid.addEventListener(type, (event) => {
        const link = event.target.closest && event.target.closest("a[download]");
        if (link) linkUp(link);
    }, true);
}

// Thumbnails are decoded by the browser from the output's slice, only for rows in view, and
// kept as small pictures: an <img> of the slice would keep the whole JPEG (megabytes) in the
// browser's memory for each row in view. They are decoded one at a time, and only between
// batches: a batch's rows come into view faster than their pictures can be decoded, and each
// decoding holds a whole image. A row's picture goes when it leaves the view.
const thumbnailWidth = 80; // px: twice the shown width, for high-density screens
const thumbnailsWaiting = new Set(); // canvases in view, in the order they came
let thumbnailsDrawing = false;

async function drawThumbnail(canvas) {
    const output = outputs[Number(canvas.dataset.output)];
    canvas.dataset.state = "decoding";
    let bitmap;
    try {
        bitmap = await createImageBitmap(blobOf(output), { resizeWidth: thumbnailWidth, resizeQuality: "medium" });
    } catch {
        canvas.dataset.state = "undecodable"; // not a picture the browser can show: no thumbnail
        return;
    }
    if (canvas.dataset.state !== "decoding") {
        bitmap.close(); // out of view again meanwhile
        return;
    }
    canvas.width = thumbnailWidth;
    canvas.height = Math.round(thumbnailWidth * 0.75);
    const context = canvas.getContext("2d");
    const scale = Math.max(canvas.width / bitmap.width, canvas.height / bitmap.height);
    const width = bitmap.width * scale;
    const height = bitmap.height * scale;
    context.drawImage(bitmap, (canvas.width - width) / 2, (canvas.height - height) / 2, width, height);
    bitmap.close();
    canvas.dataset.state = "drawn";
}

async function drawWaitingThumbnails() {
    if (thumbnailsDrawing) return;
    thumbnailsDrawing = true;
    while (thumbnailsWaiting.size > 0 && !busy) {
        const canvas = thumbnailsWaiting.values().next().value;
        thumbnailsWaiting.delete(canvas);
        await drawThumbnail(canvas);
    }
    thumbnailsDrawing = false;
}

function clearThumbnail(canvas) {
    thumbnailsWaiting.delete(canvas);
    canvas.dataset.state = "";
    canvas.width = canvas.height = 0;
}

const thumbnails = new IntersectionObserver((seen) => {
    for (const { target, isIntersecting } of seen) {
        if (isIntersecting && !target.dataset.state) {
            target.dataset.state = "waiting";
            thumbnailsWaiting.add(target);
        } else if (!isIntersecting && target.dataset.state) {
            clearThumbnail(target);
        }
    }
    drawWaitingThumbnails();
}, { root: $("outputsView"), rootMargin: "64px 0px" });

function dropThumbnail(row) {
    const canvas = row.querySelector("canvas");
    thumbnails.unobserve(canvas);
    clearThumbnail(canvas);
}

// The other half of a stereo pair written from the same file, if this output is one half.
function pairOf(index) {
    const output = outputs[index];
    const match = /-([LR])\.jpg$/.exec(output.name);
    if (!match) return null;
    const otherIndex = match[1] === "L" ? index + 1 : index - 1;
    const other = outputs[otherIndex];
    const otherName = output.name.slice(0, -5) + (match[1] === "L" ? "R" : "L") + ".jpg";
    if (!other || other.file !== output.file || other.name !== otherName) return null;
    return match[1] === "L" ? [output, other] : [other, output];
}

const outputRows = windowedList($("outputsView"), outputsGrid, {
    idPrefix: "output-",
    cells: true,
    makeRow(index) {
        const output = outputs[index];
        const image = document.createElement("canvas");
        image.className = "thumbnail";
        image.setAttribute("aria-hidden", "true");
        image.width = image.height = 0;
        image.dataset.output = String(index);
        const link = document.createElement("a");
        link.href = "#" + encodeURIComponent(output.name); // until it is reached: see linkUp
        link.dataset.output = String(index);
        link.download = output.name;
        link.title = output.name;
        link.tabIndex = -1;
        fillName(link, output.name, [outputs[index - 1]?.name, outputs[index + 1]?.name]);
        if (index === outputs.length - 1) awaitingNext.add(index);
        const size = document.createElement("span");
        size.className = "size";
        size.textContent = sizeText(output.last - output.first + 1);
        const nameCell = document.createElement("div");
        nameCell.setAttribute("role", "gridcell");
        nameCell.append(image, link);
        const sizeCell = document.createElement("div");
        sizeCell.setAttribute("role", "gridcell");
        sizeCell.append(size);
        const viewCell = document.createElement("div");
        viewCell.setAttribute("role", "gridcell");
        if (pairOf(index)) {
            const view = document.createElement("button");
            view.type = "button";
            view.textContent = "View";
            view.tabIndex = -1;
            view.setAttribute("aria-label", "View " + output.name.slice(0, -6) + " in 3D");
            view.dataset.output = String(index);
            viewCell.append(view);
        }
        const row = document.createElement("div");
        row.setAttribute("role", "row");
        row.dataset.name = output.name;
        row.append(nameCell, sizeCell, viewCell);
        thumbnails.observe(image);
        return row;
    },
    dropRow: dropThumbnail,
});

outputsGrid.addEventListener("click", (event) => {
    const view = event.target.closest("button[data-output]");
    if (view) showPair(Number(view.dataset.output), view);
});

outputsGrid.addEventListener("keydown", (event) => {
    if (outputRows.moveByKey(event)) return;
    if (event.key === "Enter" || event.key === " ") {
        const cell = outputRows.activeCell();
        const target = cell?.querySelector("a, button");
        if (!target) return;
        event.preventDefault();
        if (target.matches("a")) linkUp(target);
        target.click();
    }
});

// A half of a split pair as the viewer takes it: its bytes, its name in messages (as
// twinframe-cli --side-by-side names the pictures of an MPO file), and the file it is read from.
const viewedHalf = (output, side) => ({ blob: blobOf(output), name: `${output.file.name} (${side})`, source: output.file.name });

function showPair(index, from) {
    const pair = pairOf(index);
    if (pair) openViewer({ name: pair[0].name.slice(0, -6), left: viewedHalf(pair[0], "left"), right: viewedHalf(pair[1], "right") }, from);
}

// A row made while the batch runs is named apart from the image before it, and the one after it
// once it comes (in place: its link may be in the user's hands).
const awaitingNext = new Set(); // numbers of the rows made while they were the last

function renameAwaitingNext() {
    for (const index of awaitingNext) {
        if (index + 1 >= outputs.length) continue;
        awaitingNext.delete(index);
        const link = outputRows.rowOf(index)?.querySelector("a[download]");
        if (!link) continue;
        link.replaceChildren();
        fillName(link, outputs[index].name, [outputs[index - 1]?.name, outputs[index + 1].name]);
    }
}

function addOutput(inputName, name, first, last) {
    outputs.push({ name, file: batchInputs.get(inputName), first, last, url: null });
}

worker.onmessage = (event) => {
    const report = event.data;
    switch (report.type) {
    case "ready":
        workerReady = true;
        lockControls();
        break;
    case "sizes":
        sizesKnown(report.request, report.sizes);
        break;
    case "started":
        // The sizes of the batch's files, in its order.
        batchBytes = [0];
        for (const size of report.sizes) batchBytes.push(batchBytes.at(-1) + size);
        showProgress(0);
        break;
    case "reports":
        for (const item of report.reports) {
            if (item.type === "message") addLogEntry([item.text]);
            else if (item.type === "joined") addJoined(item);
            else addOutput(item.input, item.name, item.first, item.last);
        }
        renameAwaitingNext();
        outputRows.update(outputs.length);
        if (report.status !== null) status.textContent = report.status;
        if (report.started > 0) showProgress(report.started - 1);
        break;
    case "done":
    case "failed":
        status.textContent = idleText;
        setBusy(false);
        if (report.type === "failed") addLogEntry([report.text]);
        // The core separates the summary's lines with a carriage return.
        else if (report.summary) addLogEntry(report.summary.split("\r"), "summary");
        running.flush();
        // Focus goes on to what the batch gave: its images (or joined files), or its messages.
        // The page scrolls only as far as needed to show their start.
        if (report.join && joinedList.firstElementChild) {
            joinedList.querySelector("a").focus({ preventScroll: true });
            joinMessages.element.scrollIntoView({ block: "nearest" });
            joinedList.scrollIntoView({ block: "nearest" });
        } else if (!report.join && outputs.length > 0) {
            outputsGrid.focus({ preventScroll: true });
            outputsGrid.firstElementChild?.scrollIntoView({ block: "nearest" });
        } else {
            running.element.focus({ preventScroll: true });
            running.element.scrollIntoView({ block: "nearest" });
        }
        drawWaitingThumbnails();
        if (launchedDuringBatch.length > 0) {
            addFiles(launchedDuringBatch);
            launchedDuringBatch = [];
        }
        document.dispatchEvent(new CustomEvent("twinframe-batch-done"));
        break;
    }
};
worker.onerror = (event) => {
    messages.add(["The splitting core could not start: " + (event.message || "unknown error")]);
};

go.addEventListener("click", () => {
    if (busy || !workerReady) return;
    clearOutputs();
    running = messages;
    messages.clear();
    batchFiles = shownNames.filter((name) => listed.get(name).selected).map((name) => listed.get(name).file);
    batchBytes = [];
    batchInputs = new Map(shownNames.map((name) => [name, listed.get(name).file]));
    setBusy(true);
    // GO! is disabled now: Stop, in its place, takes the focus.
    stop.focus();
    worker.postMessage({
        type: "run",
        files: shownNames.map((name) => listed.get(name).file),
        entries: shownNames.map((name) => ({ name, selected: listed.get(name).selected })),
        sizes: shownNames.map((name) => fileSizes.get(listed.get(name).file) ?? null),
        speedHack: speedHack.checked,
    });
});

// The batch stops between two files: the one being split is finished first.
stop.addEventListener("click", () => {
    stop.disabled = true;
    worker.postMessage({ type: "stop" });
});

// The batch asks for the speed hack before each file; the worker always knows the box's state.
speedHack.addEventListener("change", () => worker.postMessage({ type: "speedHack", value: speedHack.checked }));

// Joining pairs: the pictures given at once are joined as twinframe-cli --join joins them, each
// pair into a download made of the core's new bytes and slices of the two pictures.
let joinInputs = new Map(); // name -> File, as the running join was given them
let joinedUrls = [];

function addJoined({ output, left, right, made, pieces }) {
    const blob = joinedBlob(made, pieces, joinInputs.get(left), joinInputs.get(right));
    const url = URL.createObjectURL(blob);
    joinedUrls.push(url);
    const link = document.createElement("a");
    link.href = url;
    link.download = output;
    link.title = output;
    fillName(link, output);
    const size = document.createElement("span");
    size.className = "size";
    size.textContent = sizeText(blob.size);
    // The joined pair in the viewer: its two pictures as they were given.
    const name = output.slice(0, -4);
    const pictures = [left, right].map((picture) => ({ blob: joinInputs.get(picture), name: picture, source: picture }));
    const view = document.createElement("button");
    view.type = "button";
    view.textContent = "View";
    view.setAttribute("aria-label", `View ${name} in 3D`);
    view.addEventListener("click", () => openViewer({ name, left: pictures[0], right: pictures[1] }, view));
    const row = document.createElement("li");
    row.dataset.name = output;
    row.append(link, size, view);
    joinedList.append(row);
}

function joinPictures(files) {
    if (busy || !workerReady) return;
    // As in a folder, one file of each name: a later one takes an earlier one's place.
    joinInputs = new Map();
    const leftOut = [];
    for (const file of files) {
        if (isPicture(file.name)) joinInputs.set(file.name, file);
        else leftOut.push(file.name);
    }
    for (const url of joinedUrls) URL.revokeObjectURL(url);
    joinedUrls = [];
    joinedList.replaceChildren();
    running = joinMessages;
    joinMessages.clear();
    if (leftOut.length > 0) addLogEntry(["Not joined, not a .jpg or .jpeg picture:", ...leftOut.sort(byName)]);
    if (joinInputs.size === 0) {
        joinMessages.flush();
        return;
    }
    setBusy(true);
    // The status names each pair as it is joined; a join goes through every pair it was given.
    progressRow.hidden = stop.hidden = true;
    const names = [...joinInputs.keys()].sort(byName);
    worker.postMessage({ type: "join", files: names.map((name) => joinInputs.get(name)) });
}

joinPicker.addEventListener("change", () => {
    joinPictures([...joinPicker.files]);
    joinPicker.value = "";
});

// Save all: into a folder the user picks where the browser can write one, and as one .zip
// everywhere.
saveFolder.hidden = !("showDirectoryPicker" in window);

async function saveWith(save) {
    saveFolder.disabled = saveZip.disabled = true;
    try {
        await save(outputs.map((output) => ({ name: output.name, blob: blobOf(output), lastModified: output.file.lastModified,
            source: output.file.name, sourceFile: output.file })), {
            note: (text) => { saveNote.textContent = text; },
            problem: (text) => messages.add([text]),
        });
    } catch (error) {
        saveNote.textContent = "Save all failed: " + error.message;
    } finally {
        saveFolder.disabled = saveZip.disabled = busy || outputs.length === 0;
        document.dispatchEvent(new CustomEvent("twinframe-save-done"));
    }
}
saveFolder.addEventListener("click", () => saveWith(saveToFolder));
saveZip.addEventListener("click", () => saveWith(saveAsZip));
if (canPickSaveFile()) saveZip.title = "Asks where to save the .zip";

// Kept by a service worker, the page opens and splits with no network after one visit.
if ("serviceWorker" in navigator && location.protocol !== "file:") {
    navigator.serviceWorker.register("sw.js").catch(() => {
        // Without it the page works all the same while the network is there.
    });
}

renderList();
