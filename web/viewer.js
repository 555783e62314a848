// The viewer of a stereo pair: both pictures side by side (crossed or parallel), as a red-cyan
// anaglyph, or as a wiggle, so that a 3D photo can be seen before it is saved. The pictures are
// decoded by the browser from the outputs' slices, at most as wide as the screen needs. The pair
// can be saved as one side-by-side picture, NAME.jps (cross-eyed) or NAME-LR.jpg (parallel), as
// twinframe-cli --side-by-side names them, made by the stereo module (see stereo.js).
import { CannotWrite, saveMadeFile } from "./saving.js";
import { endStereo, sideBySide, StereoStopped } from "./stereo.js";

const dialog = document.getElementById("viewer");
const title = document.getElementById("viewerTitle");
const stage = document.getElementById("viewerStage");
const modes = document.getElementById("viewerModes");
const close = document.getElementById("viewerClose");
const saveCrossed = document.getElementById("saveCrossed");
const saveParallel = document.getElementById("saveParallel");
const note = document.getElementById("viewerNote");

const wiggleInterval = 140; // ms per picture
let pictures = null; // { left, right }: ImageBitmaps of the pair on show
let pair = null; // the pair on show: { name, left, right }, each picture { blob, name, source }
let wiggleTimer = null;
let shownFrom = null;

// Pictures wider than the screen are made smaller once decoded: a camera's 20 MP picture would
// hold 80 MB for nothing.
async function decode(blob, width) {
    const bitmap = await createImageBitmap(blob);
    if (bitmap.width <= width) return bitmap;
    const smaller = await createImageBitmap(bitmap, { resizeWidth: width, resizeQuality: "high" });
    bitmap.close();
    return smaller;
}

function canvasOf(bitmap, label) {
    const canvas = document.createElement("canvas");
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    canvas.getContext("2d").drawImage(bitmap, 0, 0);
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", label);
    return canvas;
}

// Red from the left picture, green and blue from the right: seen through red-cyan glasses,
// each eye gets its own picture.
function anaglyph(left, right) {
    const width = Math.min(left.width, right.width);
    const height = Math.min(left.height, right.height);
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const context = canvas.getContext("2d", { willReadFrequently: true });
    context.drawImage(right, 0, 0);
    const mixed = context.getImageData(0, 0, width, height);
    context.drawImage(left, 0, 0);
    const red = context.getImageData(0, 0, width, height).data;
    for (let i = 0; i < mixed.data.length; i += 4) mixed.data[i] = red[i];
    context.putImageData(mixed, 0, 0);
    canvas.setAttribute("role", "img");
    canvas.setAttribute("aria-label", "Red-cyan anaglyph of the pair");
    return canvas;
}

function show(mode) {
    clearInterval(wiggleTimer);
    wiggleTimer = null;
    stage.className = mode;
    if (!pictures) return;
    const { left, right } = pictures;
    if (mode === "cross") {
        stage.replaceChildren(canvasOf(right, "Right picture, on the left for crossed eyes"), canvasOf(left, "Left picture"));
    } else if (mode === "parallel") {
        stage.replaceChildren(canvasOf(left, "Left picture"), canvasOf(right, "Right picture"));
    } else if (mode === "anaglyph") {
        stage.replaceChildren(anaglyph(left, right));
    } else {
        const frames = [canvasOf(left, "Left picture"), canvasOf(right, "Right picture")];
        frames[1].hidden = true;
        stage.replaceChildren(...frames);
        wiggleTimer = setInterval(() => {
            for (const frame of frames) frame.hidden = !frame.hidden;
        }, wiggleInterval);
    }
}

modes.addEventListener("change", () => show(modes.querySelector("input:checked").value));

function closeViewer() {
    endStereo(); // a side-by-side picture being made is given up, and its memory given back
    pair = null;
    clearInterval(wiggleTimer);
    wiggleTimer = null;
    pictures?.left.close();
    pictures?.right.close();
    pictures = null;
    stage.replaceChildren();
}
dialog.addEventListener("close", () => {
    closeViewer();
    shownFrom?.focus();
});
close.addEventListener("click", () => dialog.close());

// The pair: { name, left, right }, each picture { blob, name, source }: its bytes, its name in
// messages, and the name of the file it is read from.
export async function openViewer(shown, from) {
    closeViewer();
    pair = shown;
    shownFrom = from;
    const { name } = shown;
    title.textContent = name;
    stage.replaceChildren();
    showNote("");
    saveCrossed.disabled = saveParallel.disabled = false;
    dialog.showModal();
    const width = Math.min(1600, Math.round(window.innerWidth * devicePixelRatio));
    try {
        const [left, right] = await Promise.all([decode(shown.left.blob, width), decode(shown.right.blob, width)]);
        if (!dialog.open || shownFrom !== from) {
            // Closed, or another pair asked for, while these were decoded.
            left.close();
            right.close();
            return;
        }
        pictures = { left, right };
        show(modes.querySelector("input:checked").value);
    } catch (error) {
        const problem = document.createElement("p");
        problem.className = "warning";
        problem.textContent = `Cannot show ${name}: the browser cannot decode its pictures (${error.message}).`;
        stage.replaceChildren(problem);
    }
    document.dispatchEvent(new CustomEvent("twinframe-viewer-shown"));
}

function showNote(text, problem = false) {
    note.textContent = text;
    note.classList.toggle("warning", problem);
}

const pictureTypes = {
    ".jps": { description: "Side-by-side stereo picture", accept: { "image/jpeg": [".jps"] } },
    ".jpg": { description: "JPEG picture", accept: { "image/jpeg": [".jpg", ".jpeg"] } },
};

async function saveSideBySide(parallel) {
    const saving = pair;
    const name = saving.name + (parallel ? "-LR.jpg" : ".jps");
    saveCrossed.disabled = saveParallel.disabled = true;
    let madeNote = "";
    const make = async () => {
        showNote(`Making ${name}...`);
        const made = await sideBySide(saving.left, saving.right, parallel);
        if (made.unreadable) {
            throw new Error(`cannot read ${saving[made.unreadable].source}: it was changed, moved or deleted after it was chosen`);
        }
        if (made.problem) throw new Error(made.problem);
        madeNote = made.note;
        return new Blob([made.jpeg], { type: "image/jpeg" });
    };
    try {
        const saved = await saveMadeFile(name, pictureTypes[parallel ? ".jpg" : ".jps"], make);
        if (saved) {
            const done = saved.picked ? `Saved ${saved.name}.` : `${name} handed to the browser's downloads.`;
            showNote(madeNote ? `${done} ${madeNote}` : done);
        } else {
            showNote("");
        }
    } catch (error) {
        if (error instanceof StereoStopped) return; // the viewer was closed meanwhile
        // Refused (with the core's reason), unreadable, or the module or picker failed: nothing
        // is saved.
        showNote(error instanceof CannotWrite ? error.message : `Cannot make ${name}: ${error.message}`, true);
    } finally {
        if (pair === saving) saveCrossed.disabled = saveParallel.disabled = false;
        document.dispatchEvent(new CustomEvent("twinframe-side-by-side-done"));
    }
}

saveCrossed.addEventListener("click", () => saveSideBySide(false));
saveParallel.addEventListener("click", () => saveSideBySide(true));
