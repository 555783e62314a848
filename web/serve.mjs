// A static file server for trying the page and for its tests: serves one folder on 127.0.0.1.
//   node web/serve.mjs FOLDER [PORT]    (port 8080 unless given; 0 picks a free one)
// The page needs nothing of a server but its files with the right types; any static server does.
import { createServer } from "node:http";
import { readFile, stat } from "node:fs/promises";
import { extname, join, normalize, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const types = {
    ".html": "text/html; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".json": "application/json",
    ".txt": "text/plain; charset=utf-8",
};

export function serve(folder, port = 8080, host = "127.0.0.1") {
    const root = resolve(folder);
    const server = createServer(async (request, response) => {
        const path = decodeURIComponent(new URL(request.url, "http://host").pathname);
        let file = normalize(join(root, path));
        if (!file.startsWith(root)) {
            response.writeHead(403).end();
            return;
        }
        try {
            if ((await stat(file)).isDirectory()) file = join(file, "index.html");
            const body = await readFile(file);
            response.writeHead(200, {
                "Content-Type": types[extname(file)] ?? "application/octet-stream",
                "Cache-Control": "no-cache",
            });
            response.end(body);
        } catch {
            response.writeHead(404, { "Content-Type": "text/plain" }).end("Not found\n");
        }
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
