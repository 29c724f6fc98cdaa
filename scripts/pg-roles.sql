-- The rights of the clerks' role on a shared PostgreSQL database.
-- Run as the server's administrator, in the office's database, after the
-- program has made its tables under the owning role:
--   psql -v clerk=feeoffice -f scripts/pg-roles.sql fees
-- The clerks' role may read and add everything, and change the rosters and
-- counters, but never change or remove a row of money, a receipt, a void,
-- an unprinted mark, the audit log or a month's closing. TRUNCATE is given
-- on the ledger only so that a write may lock it; the database's own
-- trigger refuses TRUNCATE itself.
GRANT CONNECT ON DATABASE :"DBNAME" TO :"clerk";
GRANT USAGE ON SCHEMA public TO :"clerk";
REVOKE ALL ON ALL TABLES IN SCHEMA public FROM :"clerk";
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO :"clerk";
REVOKE UPDATE, DELETE ON ledger_entry, receipt_journal, receipt_void, receipt_unprinted, audit_log, month_closing, user_entry, sign_in_failure, statement_row, statement_link, family_entry, family_member, reduction_type, reduction_grant, receipt_reduction, child_stay, part_month_rule FROM :"clerk";
GRANT TRUNCATE ON ledger_entry TO :"clerk";
GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO :"clerk";
