// Writes a WARC file with warcio, Webrecorder's WARC library, from the description in the JSON file named by
// the first argument: {file, version, gzip, records: [{type, url, date, status, headers, bodyFile, revisitOf,
// refer}]}. A revisit names the record it repeats as a deduplicating crawler does: by its WARC-Record-ID
// ("id"), its target address and date ("capture"), or the payload digest warcio computed for it ("digest").
import fs from "node:fs";
import { WARCRecord, WARCSerializer } from "warcio";

const order = JSON.parse(fs.readFileSync(process.argv[2], "utf8"));
const out = fs.openSync(order.file, "w");
const written = [];
for (const description of order.records) {
  const options = {
    url: description.url,
    date: description.date,
    type: description.type,
    warcVersion: order.version,
    warcHeaders: Object.fromEntries(description.warcHeaders),
  };
  if (description.type !== "resource") {
    options.statusline = `HTTP/1.1 ${description.status} ${description.status === 200 ? "OK" : "Not Found"}`;
    options.httpHeaders = Object.fromEntries(description.headers);
  }
  if (description.type === "revisit") {
    const original = written[description.revisitOf];
    if (description.refer.includes("id"))
      options.warcHeaders["WARC-Refers-To"] = original.warcHeader("WARC-Record-ID");
    if (description.refer.includes("capture")) {
      options.refersToUrl = original.warcTargetURI;
      options.refersToDate = original.warcDate;
    }
    if (description.refer.includes("digest"))
      options.warcHeaders["WARC-Payload-Digest"] = original.warcPayloadDigest;
  }
  const body = fs.readFileSync(description.bodyFile);
  const record = WARCRecord.create(options, (async function* () {
    if (body.length > 0)
      yield new Uint8Array(body);
  })());
  fs.writeSync(out, await WARCSerializer.serialize(record, { gzip: order.gzip }));
  written.push(record);
}
fs.closeSync(out);
