#!/usr/bin/env node
// Validates glTF files (.glb or .gltf) with the Khronos glTF validator.
//
//   node validate.js FILE...
//
// Prints, per file, the counts of errors, warnings, infos and hints and every
// error and warning with its pointer. Resources the file references (a .bin,
// image files) are read relative to the file's folder; one that cannot be read
// is an error. Exits 1 when any file has an error or a warning, 2 when a file
// cannot be read or is neither glTF nor GLB.
'use strict';

const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function validateFile(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    return validator.validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 0,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                const resource = path.resolve(path.dirname(file), decodeURIComponent(uri));
                fs.readFile(resource, (err, data) => (err ? reject(err.toString()) : resolve(new Uint8Array(data))));
            }),
    });
}

async function main(files) {
    if (files.length === 0) {
        console.error('usage: validate.js FILE...');
        return 2;
    }
    let status = 0;
    for (const file of files) {
        let report;
        try {
            report = await validateFile(file);
        } catch (e) {
            console.log(`${file}: cannot validate: ${e}`);
            status = 2;
            continue;
        }
        const i = report.issues;
        console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ` +
                    `${i.numInfos} infos, ${i.numHints} hints`);
        for (const m of i.messages) {
            if (m.severity > 1) continue;
            const kind = m.severity === 0 ? 'error' : 'warning';
            console.log(`  ${kind} ${m.code} at ${m.pointer || m.offset || '/'}: ${m.message}`);
        }
        if ((i.numErrors > 0 || i.numWarnings > 0) && status === 0) status = 1;
    }
    return status;
}

main(process.argv.slice(2)).then((status) => process.exit(status));
