// A static file server for trying the page and for its tests: serves one folder on 127.0.0.1.
//   node web/serve.mjs FOLDER [PORT]    (port 8080 unless given; 0 picks a free one)
// The page needs nothing of a server but its files with the right types; any static server does.
// This one also does what a good static host does, so that the page's figures are those of a
// real site: it sends validators (ETag, Last-Modified) and answers 304 Not Modified to a browser
// that holds the file already, and it compresses text (Brotli or gzip, as the browser accepts).
import { createHash } from "node:crypto";
import { createServer } from "node:http";
import { readFile, stat } from "node:fs/promises";
import { extname, join, normalize, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { brotliCompressSync, constants, gzipSync } from "node:zlib";

const types = {
    ".html": "text/html; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".json": "application/json",
    ".webmanifest": "application/manifest+json",
    ".txt": "text/plain; charset=utf-8",
};
// PNG pictures are compressed already.
const compressible = new Set([".html", ".css", ".js", ".mjs", ".wasm", ".svg", ".json", ".webmanifest", ".txt"]);

// Compressed bodies by the digest of the file and the coding: each is made once per process.
const compressed = new Map();
function compress(body, digest, coding) {
    const key = `${digest} ${coding}`;
    if (!compressed.has(key)) {
        compressed.set(key, coding === "br"
            ? brotliCompressSync(body, { params: { [constants.BROTLI_PARAM_QUALITY]: 9, [constants.BROTLI_PARAM_SIZE_HINT]: body.length } })
            : gzipSync(body, { level: 9 }));
    }
    return compressed.get(key);
}

// The coding to send: Brotli before gzip, none when the browser accepts neither (or q=0).
function codingFor(acceptEncoding = "") {
    const accepted = new Map(acceptEncoding.split(",").map((part) => {
        const [name, ...parameters] = part.trim().toLowerCase().split(";");
        const q = parameters.map((p) => /^\s*q=([\d.]+)\s*$/.exec(p)).find(Boolean);
        return [name, q ? Number(q[1]) : 1];
    }));
    return ["br", "gzip"].find((coding) => (accepted.get(coding) ?? 0) > 0) ?? null;
}

// Whether the browser's copy (by its If-None-Match, else its If-Modified-Since) is current.
function isCurrent(request, etag, modified) {
    const tags = request.headers["if-none-match"];
    if (tags !== undefined)
        return tags.trim() === "*" || tags.split(",").some((tag) => tag.trim().replace(/^W\//, "") === etag);
    const since = Date.parse(request.headers["if-modified-since"] ?? "");
    return !Number.isNaN(since) && Math.floor(modified / 1000) * 1000 <= since;
}

// cacheControl: what browsers are told about keeping the files; by default they keep them but
// ask each time whether they changed (which costs a 304 when they did not).
export function serve(folder, port = 8080, host = "127.0.0.1", { cacheControl = "no-cache" } = {}) {
    const root = resolve(folder);
    const server = createServer(async (request, response) => {
        const path = decodeURIComponent(new URL(request.url, "http://host").pathname);
        let file = normalize(join(root, path));
        if (!file.startsWith(root)) {
            response.writeHead(403).end();
            return;
        }
        let body;
        let modified;
        try {
            let info = await stat(file);
            if (info.isDirectory()) {
                file = join(file, "index.html");
                info = await stat(file);
            }
            body = await readFile(file);
            modified = info.mtimeMs;
        } catch {
            response.writeHead(404, { "Content-Type": "text/plain" }).end("Not found\n");
            return;
        }
        const digest = createHash("sha256").update(body).digest("base64url").slice(0, 22);
        const coding = compressible.has(extname(file)) ? codingFor(request.headers["accept-encoding"]) : null;
        // Each coding of a file is its own representation, with its own tag.
        const etag = `"${digest}${coding ? "-" + coding : ""}"`;
        const headers = {
            "Content-Type": types[extname(file)] ?? "application/octet-stream",
            "Cache-Control": cacheControl,
            "ETag": etag,
            "Last-Modified": new Date(modified).toUTCString(),
            ...(compressible.has(extname(file)) ? { "Vary": "Accept-Encoding" } : {}),
        };
        for (const [name, value] of Object.entries(headers)) response.setHeader(name, value);
        if (isCurrent(request, etag, modified)) {
            response.writeHead(304).end();
            return;
        }
        if (coding) {
            body = compress(body, digest, coding);
            response.setHeader("Content-Encoding", coding);
        }
        response.setHeader("Content-Length", String(body.length));
        response.writeHead(200);
        response.end(request.method === "HEAD" ? undefined : body);
    });
    return new Promise((done, failed) => {
        server.once("error", failed);
        server.listen(port, host, () => done(server));
    });
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
    const [folder, port = "8080"] = process.argv.slice(2);
    if (!folder) {
        console.error("usage: node serve.mjs FOLDER [PORT]");
        process.exit(2);
    }
    const server = await serve(folder, Number(port));
    const { address, port: bound } = server.address();
    console.log(`Twinframe is served at http://${address}:${bound}/  (Ctrl+C stops it)`);
}
