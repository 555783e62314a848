// Lays the page out in a folder from its sources and the core's build, and makes the whole page
// in one file besides (twinframe.html: scripts, workers and WebAssembly inlined), which works
// opened straight from the disk, with no server.
//   node web/build.mjs CORE_BUILD SITE
import { execFileSync } from "node:child_process";
import { createHash } from "node:crypto";
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { gzipSync } from "node:zlib";

const web = dirname(fileURLToPath(import.meta.url));
const resources = join(web, "../resources");
const [core, site] = process.argv.slice(2);
if (!core || !site) {
    console.error("usage: node build.mjs CORE_BUILD SITE");
    process.exit(2);
}

const pageFiles = ["index.html", "style.css", "boot.js", "app.js", "lists.js", "saving.js", "stereo.js", "viewer.js",
    "join.js", "worker.js", "stereo-worker.js", "twinframe.webmanifest"];
const modules = ["lists.js", "saving.js", "stereo.js", "viewer.js", "join.js", "app.js"]; // each after those it imports
// The modules the page's workers load: the core at once, the stereo module (libjpeg) only when the
// viewer first saves a pair side by side.
const coreFiles = ["twinframe-core.js", "twinframe-core.wasm", "twinframe-stereo.js", "twinframe-stereo.wasm"];
const read = (path) => readFileSync(path, "utf8");
const sha256 = (text, encoding = "hex") => createHash("sha256").update(text).digest(encoding);

mkdirSync(join(site, "vendor"), { recursive: true });
for (const name of pageFiles) copyFileSync(join(web, name), join(site, name));
for (const name of coreFiles) copyFileSync(join(core, name), join(site, name));
for (const name of ["twinframe.svg", "twinframe-256.png"]) copyFileSync(join(resources, name), join(site, name));

// The install's icons, drawn from the project's icon by rsvg-convert (Debian's librsvg2-bin): one
// of 512 px, and a maskable one, which the system may cut to a circle or any other shape. That
// one is the icon's drawing on a background to every edge, made smaller: the drawing reaches
// 135 px from the centre of its 256, and only a circle of 40 % of the width (102 px) is sure to
// be shown.
const iconSvg = read(join(resources, "twinframe.svg"));
const background = /^(\s*)<rect x="8" y="8" width="240" height="240" rx="40" fill="(#[0-9a-f]{6})"\/>\n/m.exec(iconSvg);
if (!background) throw new Error("twinframe.svg has no background square where expected");
const drawing = iconSvg.slice(iconSvg.indexOf(">") + 1, iconSvg.lastIndexOf("</svg>")).replace(background[0], "\n");
const maskableSvg = `<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <rect width="256" height="256" fill="${background[2]}"/>
  <g transform="translate(128 128) scale(0.75) translate(-128 -128)">${drawing}</g>
</svg>
`;
const drawIcon = (svg, name) => execFileSync("rsvg-convert", ["--width=512", "--height=512", "--format=png", "--output", join(site, name)], { input: svg });
drawIcon(iconSvg, "twinframe-512.png");
drawIcon(maskableSvg, "twinframe-maskable.png");

// client-zip is an ES module; the page loads it as a plain script, which the one-file page can
// inline as it is: its exports become the properties of one global.
const zipModule = read(join(web, "node_modules/client-zip/index.js"));
const exported = /export\s*\{([^}]*)\};?\s*$/.exec(zipModule);
if (!exported) throw new Error("client-zip's exports were not found where expected");
const globals = exported[1].split(",").map((pair) => pair.trim().split(/\s+as\s+/)).map(([local, name]) => `${name ?? local}:${local}`);
const zipScript = `(()=>{${zipModule.slice(0, exported.index)};globalThis.clientZip={${globals.join(",")}};})();\n`;
writeFileSync(join(site, "vendor/client-zip.js"), zipScript);
copyFileSync(join(web, "node_modules/client-zip/LICENSE.txt"), join(site, "vendor/client-zip.LICENSE.txt"));

// The service worker keeps the files above under a name drawn from their bytes, so that a new
// version of any of them is a new version of the page. It keeps the stereo module too, when it
// is installed (after the page has loaded), so that the page opened with no network saves pairs
// side by side as well.
const kept = [...pageFiles, ...coreFiles, "twinframe.svg", "twinframe-256.png",
    "twinframe-512.png", "twinframe-maskable.png", "vendor/client-zip.js"];
const version = sha256(kept.map((name) => sha256(readFileSync(join(site, name)))).join("")).slice(0, 16);
const serviceWorker = read(join(web, "sw.js"))
    .replace('const version = "unbuilt";', `const version = "${version}";`)
    .replace("const files = [];", `const files = ${JSON.stringify(kept)};`);
if (!serviceWorker.includes(version)) throw new Error("sw.js has no version line to fill in");
writeFileSync(join(site, "sw.js"), serviceWorker);

// The one-file page. Its policy allows no connection at all, and only its own inline scripts
// and style (by their digests).
const inlineText = (text) => text.replace(/<\/(script|style)/gi, "<\\/$1");
const bundle = modules.map((name) => read(join(web, name))
    .replace(/^import .*$/gm, "")
    .replace(/^export (async function|function|const|let|class)/gm, "$1")).join("\n");
const wasm = readFileSync(join(core, "twinframe-core.wasm")).toString("base64");
const workerSource = `self.twinframeWasm = Uint8Array.from(atob(${JSON.stringify(wasm)}), (c) => c.charCodeAt(0));\n` +
    read(join(core, "twinframe-core.js")) + "\n" + read(join(web, "worker.js"));
const workerSetup = `window.twinframeWorkerUrl = URL.createObjectURL(new Blob([${JSON.stringify(workerSource)}], { type: "text/javascript" }));\n`;
// The stereo worker's whole text waits in a data block, which the browser neither runs nor
// decodes: stereo.js makes the worker of it when the viewer first asks. So opening the one-file
// page costs only the reading of its text (and its policy needs no digest for it). Its
// WebAssembly is gzipped there (the worker unpacks it): mostly libjpeg's tables, it shrinks to a
// fifth, which keeps the one-file page from doubling.
const stereoWasm = gzipSync(readFileSync(join(core, "twinframe-stereo.wasm")), { level: 9 }).toString("base64");
const stereoWorkerSource = `self.twinframeStereoWasmGzip = ${JSON.stringify(stereoWasm)};\n` +
    read(join(core, "twinframe-stereo.js")) + "\n" + read(join(web, "stereo-worker.js"));
const stereoWorkerBlock = `<script type="application/json" id="stereoWorker">${JSON.stringify(stereoWorkerSource).replace(/</g, "\\u003c")}</script>`;
const scripts = {
    boot: "window.twinframeOneFile = true;\n" + read(join(web, "boot.js")),
    zip: zipScript,
    worker: workerSetup,
    app: bundle,
};
const style = read(join(web, "style.css"));
const icon = "data:image/svg+xml;base64," + readFileSync(join(resources, "twinframe.svg")).toString("base64");
const digest = (text) => `'sha256-${sha256(text, "base64")}'`;
const scriptTexts = Object.values(scripts).map(inlineText);
const policy = ["default-src 'none'", `script-src ${scriptTexts.map(digest).join(" ")} 'wasm-unsafe-eval'`,
    "worker-src blob:", "img-src blob: data:", `style-src ${digest(style)}`, "base-uri 'none'", "form-action 'none'"].join("; ");

let page = read(join(web, "index.html"));
const replaceOnce = (from, to) => {
    if (!page.includes(from)) throw new Error(`index.html has no ${from}`);
    page = page.replace(from, () => to);
};
replaceOnce(/<meta http-equiv="Content-Security-Policy" content="[^"]*">/.exec(page)?.[0] ?? "(policy)",
    `<meta http-equiv="Content-Security-Policy" content="${policy}">`);
replaceOnce('<link rel="manifest" href="twinframe.webmanifest">\n', "");
replaceOnce('<link rel="icon" href="twinframe.svg" type="image/svg+xml">', `<link rel="icon" href="${icon}" type="image/svg+xml">`);
replaceOnce('<img src="twinframe.svg"', `<img src="${icon}"`);
replaceOnce('<link rel="stylesheet" href="style.css">', `<style>${style}</style>`);
replaceOnce('<script src="boot.js"></script>', `<script>${scriptTexts[0]}</script>`);
replaceOnce('<script src="vendor/client-zip.js" defer></script>',
    `<script>${scriptTexts[1]}</script>\n<script>${scriptTexts[2]}</script>`);
replaceOnce('<script type="module" src="app.js"></script>', `<script type="module">${scriptTexts[3]}</script>`);
replaceOnce("</body>", `${stereoWorkerBlock}\n</body>`);
writeFileSync(join(site, "twinframe.html"), page);
console.log(`Built the page in ${site} (version ${version}) and ${join(site, "twinframe.html")}`);
