// node validate.js FILE.glb: checks a glTF file with the Khronos glTF validator.
// Prints the issue counts and every error and warning; exits 0 when there are no
// errors, 1 when there are, 2 when the file cannot be read or recognised.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const file = process.argv[2];
if (!file) {
  console.error('usage: node validate.js FILE.glb');
  process.exit(2);
}
let bytes;
try {
  bytes = new Uint8Array(fs.readFileSync(file));
} catch (e) {
  console.error(`${file}: ${e.message}`);
  process.exit(2);
}
validator
  .validateBytes(bytes, { uri: path.basename(file), maxIssues: 0, writeTimestamp: false })
  .then((report) => {
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints`);
    for (const m of issues.messages) {
      if (m.severity <= 1) {
        const kind = m.severity === 0 ? 'error' : 'warning';
        console.log(`  ${kind} ${m.code} at ${m.pointer || m.offset || ''}: ${m.message}`);
      }
    }
    process.exit(issues.numErrors === 0 ? 0 : 1);
  })
  .catch((error) => {
    console.error(`${file}: ${error}`);
    process.exit(2);
  });
