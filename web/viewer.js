// The viewer of a stereo pair: both pictures side by side (crossed or parallel), as a red-cyan
// anaglyph, or as a wiggle, so that a 3D photo can be seen before it is saved. The pictures are
// decoded by the browser from the outputs' slices, at most as wide as the screen needs.
const dialog = document.getElementById("viewer");
const title = document.getElementById("viewerTitle");
const stage = document.getElementById("viewerStage");
const modes = document.getElementById("viewerModes");
const close = document.getElementById("viewerClose");

const wiggleInterval = 140; // ms per picture
let pictures = null; // { left, right }: ImageBitmaps of the pair on show
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

// The pair: { name, left, right }, each picture { blob }: its bytes.
export async function openViewer(shown, from) {
    closeViewer();
    shownFrom = from;
    const { name } = shown;
    title.textContent = name;
    stage.replaceChildren();
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
